#include "app/run_converter.h"

#include <cstdio>
#include <new>
#include <string_view>

#include "app/batch.h"
#include "app/command_line.h"
#include "app/messages.h"
#include "app/progress.h"
#include "app/report.h"
#include "mgf/mgf_signature.h"
#include "msp/msp_output.h"
#include "mspforge/mspforge.h"
#include "platform/platform_io.h"

namespace mspforge {
namespace {

// The report file of a run, written as the records go by.
class ReportFile {
 public:
  // Opens path ("-": standard output) for the report; false, with the
  // failure shown, when it cannot be.
  bool open(const std::string& path) {
    path_ = path;
    if (path == "-") {
      output_ = mspOutputToFd(1);
      return true;
    }
    // Never over the input: an MGF file is kept, as for the library.
    platform::OpenError error;
    const platform::ReplaceCheck keepMgf{kMgfSignatureBytes,
                                         holdsMgfRecordStart};
    fd_ = platform::openOutputFile(path.c_str(), platform::FileIdentity{},
                                   keepMgf, &error);
    if (fd_ < 0) {
      showError("cannot open report '" + path + "': " +
                openFailureText(error));
      return false;
    }
    output_ = mspOutputToFd(fd_);
    return true;
  }

  void add(const RecordOutcome& outcome) {
    put(output_, reportLine(outcome));
    flushIfFull(output_);
  }

  void start() { put(output_, reportHeader()); }

  // Writes what is left and closes; false, with the failure shown, when a
  // write failed.
  bool finish() {
    bool written = flushAll(output_);
    if (fd_ >= 0 && !platform::closeFile(fd_)) written = false;
    fd_ = -1;
    if (!written) {
      showError("cannot write report '" + path_ + "': " +
                (output_.error != 0 ? platform::errorText(output_.error)
                                    : std::string("write error")));
    }
    return written;
  }

  ~ReportFile() {
    if (fd_ >= 0) platform::closeFile(fd_);
  }

 private:
  std::string path_;
  int fd_ = -1;
  MspOutput output_;
};

int convertOne(const CommandLine& commandLine, const std::string& input,
               const std::string& output) {
  const bool toStandardOutput = isStandardOutputPath(output.c_str());
  // When the records go to standard output, the messages must not land
  // among them.
  std::FILE* messages = toStandardOutput ? stderr : stdout;

  ConversionOptions options;
  options.defaults = commandLine.defaults;
  options.nameTemplate = commandLine.nameTemplate;
  options.layout = commandLine.layout;
  options.threads = commandLine.threads;
  ReportFile report;
  if (commandLine.report) {
    if (commandLine.reportPath == "-" && toStandardOutput) {
      showError("--report - would mix the report into the library on "
                "standard output; name a file");
      return ExitUsage;
    }
    if (!report.open(commandLine.reportPath)) {
      show(messages, "Cannot open file\n");
      return ExitCannotOpen;
    }
    report.start();
    options.onRecord = [&report](const RecordOutcome& outcome) {
      report.add(outcome);
    };
  }

  ConversionProgress progress;
  options.progress = &progress;
  std::uint64_t total = 0;
  if (input != "-") platform::regularFileSize(input.c_str(), total);
  std::unique_ptr<ProgressDisplay> display =
      startProgress(commandLine.progress, total, [&progress] {
        return ProgressSnapshot{
            progress.bytesRead.load(std::memory_order_relaxed),
            progress.spectra.load(std::memory_order_relaxed)};
      });

  ConversionTally tally;
  FileConversionDetails details;
  const ConversionResult result =
      convertFile(input.c_str(), output.c_str(), tally, options, &details);
  if (display) display->stop();
  const bool reportWritten = !commandLine.report || report.finish();

  if (result != ConversionResult::Complete) {
    show(messages, resultMessage(result));
    showError(problemText(details));
    return exitCodeOf(result);
  }
  // A tally that cannot be shown is a failure too, but there is nowhere
  // left to say so.
  if (!show(messages, formatTally(tally))) return ExitIoFailure;
  if (!commandLine.quiet) {
    const std::string summary = formatSummary(tally, details.inputHead);
    if (!summary.empty()) show(stderr, summary);
  }
  return reportWritten ? ExitSuccess : ExitIoFailure;
}

int usageError(const std::string& error) {
  showError(error);
  show(stderr, "Try 'mspforge --help'.\n");
  return ExitUsage;
}

int run(const std::vector<std::string>& arguments) {
  CommandLine commandLine;
  std::string error;
  if (!parseCommandLine(arguments, commandLine, error)) {
    return usageError(error);
  }
  if (commandLine.help) {
    return show(stdout, helpText()) ? ExitSuccess : ExitIoFailure;
  }
  if (commandLine.version) {
    return show(stdout, std::string("mspforge ") + MSPFORGE_VERSION + "\n")
               ? ExitSuccess
               : ExitIoFailure;
  }
  if (commandLine.batch) {
    if (commandLine.paths.empty()) {
      return usageError("--output-dir needs the MGF files to convert");
    }
    return convertBatch(commandLine);
  }
  if (commandLine.paths.size() < 2) {
    const std::string usage =
        "Usage: " + (arguments.empty() ? "mspforge" : arguments[0]) +
        " <input mgf> <output msp>";
    show(stdout, usage);
    if (commandLine.anyOption) show(stderr, "\nTry 'mspforge --help'.\n");
    return ExitUsage;
  }
  // Paths after the second are ignored, as they always were; said once,
  // even with -q, since they are most often options put last by mistake.
  const std::string ignored = ignoredArgumentsWarning(commandLine);
  if (!ignored.empty()) showError(ignored);
  return convertOne(commandLine, commandLine.paths[0], commandLine.paths[1]);
}

}  // namespace

int runConverter(const std::vector<std::string>& arguments) {
  try {
    return run(arguments);
  } catch (const std::bad_alloc&) {
    // Where the tally would have gone.
    const bool toStandardOutput =
        arguments.size() >= 3 && isStandardOutputPath(arguments[2].c_str());
    show(toStandardOutput ? stderr : stdout, "Out of memory\n");
    return ExitOutOfMemory;
  }
}

}  // namespace mspforge
