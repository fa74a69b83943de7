#include "app/run_converter.h"

#include <cstdio>
#include <string>

#include "mspforge/mspforge.h"

namespace mspforge {
namespace {

int fail(const char* message, int code) {
  std::fputs(message, stdout);
  return code;
}

}  // namespace

int runConverter(int argc, char* argv[]) {
  if (argc < 3) {
    std::printf("Usage: %s <input mgf> <output msp>",
                argc > 0 && argv[0] != nullptr ? argv[0] : "mspforge");
    return ExitUsage;
  }
  ConversionTally tally;
  switch (convertFile(argv[1], argv[2], tally)) {
    case ConversionResult::CannotOpen:
      return fail("Cannot open file\n", ExitCannotOpen);
    case ConversionResult::ReadFailed:
      return fail("Cannot read file\n", ExitIoFailure);
    case ConversionResult::WriteFailed:
      return fail("Cannot write file\n", ExitIoFailure);
    case ConversionResult::Complete:
      break;
  }
  std::string line = formatTally(tally);
  std::fwrite(line.data(), 1, line.size(), stdout);
  // A tally that cannot be shown is a failure too, but there is nowhere
  // left to say so.
  if (std::fflush(stdout) != 0) return ExitIoFailure;
  return ExitSuccess;
}

}  // namespace mspforge
