#include "app/messages.h"

namespace mspforge {
namespace {

// "-" is standard input or output; any other path is shown quoted.
std::string quoted(const std::string& path,
                   FileConversionDetails::Problem problem) {
  using Problem = FileConversionDetails::Problem;
  if (path == "-") {
    return problem == Problem::CannotOpenInput || problem == Problem::ReadFailed
               ? "standard input"
               : "standard output";
  }
  return "'" + path + "'";
}

}  // namespace

bool show(std::FILE* stream, std::string_view message) {
  return std::fwrite(message.data(), 1, message.size(), stream) ==
             message.size() &&
         std::fflush(stream) == 0;
}

void showError(std::string_view message) {
  show(stderr, "mspforge: " + std::string(message) + "\n");
}

std::string_view resultMessage(ConversionResult result) {
  switch (result) {
    case ConversionResult::CannotOpen: return "Cannot open file\n";
    case ConversionResult::ReadFailed: return "Cannot read file\n";
    case ConversionResult::WriteFailed: return "Cannot write file\n";
    case ConversionResult::Complete: break;
  }
  return "";
}

ExitCode exitCodeOf(ConversionResult result) {
  switch (result) {
    case ConversionResult::CannotOpen: return ExitCannotOpen;
    case ConversionResult::ReadFailed:
    case ConversionResult::WriteFailed: return ExitIoFailure;
    case ConversionResult::Complete: break;
  }
  return ExitSuccess;
}

std::string problemText(const FileConversionDetails& details) {
  using Problem = FileConversionDetails::Problem;
  const std::string file = quoted(details.path, details.problem);
  switch (details.problem) {
    case Problem::CannotOpenInput:
      return "cannot open input " + file + ": " + details.reason;
    case Problem::CannotOpenOutput:
      return "cannot open output " + file + ": " + details.reason;
    case Problem::OutputIsInput:
      return "cannot open output " + file +
             ": it is the input file; not writing over it";
    case Problem::OutputHoldsMgf:
      return file +
             " holds MGF spectra; not replacing it (are the paths swapped?)";
    case Problem::ReadFailed:
      return "cannot read " + file + ": " + details.reason;
    case Problem::WriteFailed:
      return "cannot write " + file + ": " + details.reason;
    case Problem::None: break;
  }
  return "conversion failed";
}

std::string openFailureText(const platform::OpenError& error) {
  switch (error.refusal) {
    case platform::OpenRefusal::System: return platform::errorText(error.code);
    case platform::OpenRefusal::IsDirectory: return "Is a directory";
    case platform::OpenRefusal::SameAsInput: return "it is the input file";
    case platform::OpenRefusal::Locked: return "another program holds the file";
    case platform::OpenRefusal::KeptByCheck: return "it holds MGF spectra";
    case platform::OpenRefusal::None: break;
  }
  return "cannot be opened";
}

void describeOpenFailure(FileConversionDetails::Problem problem,
                         const char* path, const platform::OpenError& error,
                         FileConversionDetails& details) {
  using Problem = FileConversionDetails::Problem;
  using platform::OpenRefusal;
  details.path = path;
  details.systemError = error.refusal == OpenRefusal::System ? error.code : 0;
  details.reason = openFailureText(error);
  details.isDirectory = error.refusal == OpenRefusal::IsDirectory;
  details.isLocked = error.refusal == OpenRefusal::Locked;
  details.problem = error.refusal == OpenRefusal::SameAsInput ? Problem::OutputIsInput
                    : error.refusal == OpenRefusal::KeptByCheck
                        ? Problem::OutputHoldsMgf
                        : problem;
}

}  // namespace mspforge
