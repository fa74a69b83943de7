#include "app/run_converter.h"

#include <cstdio>
#include <new>
#include <string_view>

#include "app/convert_file.h"
#include "mspforge/mspforge.h"

namespace mspforge {
namespace {

// Shows one message; false when it could not be shown.
bool show(std::FILE* stream, std::string_view message) {
  return std::fwrite(message.data(), 1, message.size(), stream) ==
             message.size() &&
         std::fflush(stream) == 0;
}

int convert(const char* inputPath, const char* outputPath,
            std::FILE* messages) {
  ConversionTally tally;
  switch (convertFile(inputPath, outputPath, tally)) {
    case ConversionResult::CannotOpen:
      show(messages, "Cannot open file\n");
      return ExitCannotOpen;
    case ConversionResult::ReadFailed:
      show(messages, "Cannot read file\n");
      return ExitIoFailure;
    case ConversionResult::WriteFailed:
      show(messages, "Cannot write file\n");
      return ExitIoFailure;
    case ConversionResult::Complete:
      break;
  }
  // A tally that cannot be shown is a failure too, but there is nowhere
  // left to say so.
  return show(messages, formatTally(tally)) ? ExitSuccess : ExitIoFailure;
}

}  // namespace

int runConverter(int argc, char* argv[]) {
  if (argc < 3) {
    std::printf("Usage: %s <input mgf> <output msp>",
                argc > 0 && argv[0] != nullptr ? argv[0] : "mspforge");
    return ExitUsage;
  }
  // When the records go to standard output, the messages must not land
  // among them.
  std::FILE* messages = namesStandardOutput(argv[2]) ? stderr : stdout;
  try {
    return convert(argv[1], argv[2], messages);
  } catch (const std::bad_alloc&) {
    show(messages, "Out of memory\n");
    return ExitOutOfMemory;
  }
}

}  // namespace mspforge
