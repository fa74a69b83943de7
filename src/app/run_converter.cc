#include "app/run_converter.h"

#include <cstdio>
#include <new>
#include <string_view>

#include "mspforge/mspforge.h"
#include "platform/platform_io.h"

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

int runConverter(const std::vector<std::string>& arguments) {
  if (arguments.size() < 3) {
    const std::string usage =
        "Usage: " + (arguments.empty() ? "mspforge" : arguments[0]) +
        " <input mgf> <output msp>";
    show(stdout, usage);
    return ExitUsage;
  }
  const char* inputPath = arguments[1].c_str();
  const char* outputPath = arguments[2].c_str();
  // When the records go to standard output, the messages must not land
  // among them.
  std::FILE* messages =
      platform::namesStandardOutput(outputPath) ? stderr : stdout;
  try {
    return convert(inputPath, outputPath, messages);
  } catch (const std::bad_alloc&) {
    show(messages, "Out of memory\n");
    return ExitOutOfMemory;
  }
}

}  // namespace mspforge
