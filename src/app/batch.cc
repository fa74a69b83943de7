#include "app/batch.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <thread>

#include "app/messages.h"
#include "app/progress.h"
#include "mspforge/mspforge.h"
#include "platform/platform_io.h"

namespace mspforge {
namespace {

bool endsWithCaseBlind(std::string_view text, std::string_view end) {
  if (text.size() < end.size()) return false;
  return std::equal(end.begin(), end.end(), text.end() - end.size(),
                    [](char a, char b) {
                      auto lower = [](char c) {
                        return c >= 'A' && c <= 'Z'
                                   ? static_cast<char>(c - 'A' + 'a')
                                   : c;
                      };
                      return lower(a) == lower(b);
                    });
}

// The key two output names clash on: the name itself, or where the file
// system ignores case, its lower-case form.
std::string clashKey(std::string name) {
  if (platform::kCaseBlindFileNames) {
    for (char& c : name) {
      if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
  }
  return name;
}

// What one conversion of the batch gave.
struct Outcome {
  int exitCode = ExitSuccess;
  std::string standardOutput;  // its line, after its name
  std::string standardError;   // its error or summary lines
  bool done = false;
};

// Puts the input's name after each "mspforge: " that begins a line.
std::string named(const std::string& lines, const std::string& input) {
  std::string result;
  const std::string_view prefix = "mspforge: ";
  std::size_t at = 0;
  while (at < lines.size()) {
    std::size_t end = lines.find('\n', at);
    end = end == std::string::npos ? lines.size() : end + 1;
    std::string_view line(lines.data() + at, end - at);
    if (line.starts_with(prefix)) {
      result += "mspforge: " + input + ": ";
      line.remove_prefix(prefix.size());
    }
    result += line;
    at = end;
  }
  return result;
}

Outcome convertOneOfMany(const std::string& input, const std::string& output,
                         const CommandLine& commandLine,
                         ConversionProgress& progress) {
  ConversionOptions options;
  options.defaults = commandLine.defaults;
  options.nameTemplate = commandLine.nameTemplate;
  options.layout = commandLine.layout;
  // The files of a batch already convert side by side.
  options.threads = commandLine.threads != 0 ? commandLine.threads : 1;
  options.progress = &progress;
  ConversionTally tally;
  FileConversionDetails details;
  Outcome outcome;
  ConversionResult result;
  try {
    result = convertFile(input.c_str(), output.c_str(), tally, options,
                         &details);
  } catch (const std::bad_alloc&) {
    outcome.exitCode = ExitOutOfMemory;
    outcome.standardOutput = input + ": Out of memory\n";
    return outcome;
  }
  if (result != ConversionResult::Complete) {
    outcome.exitCode = exitCodeOf(result);
    outcome.standardOutput = input + ": " + std::string(resultMessage(result));
    outcome.standardError = "mspforge: " + problemText(details) + "\n";
    return outcome;
  }
  outcome.standardOutput = input + ": " + formatTally(tally);
  if (!commandLine.quiet) {
    outcome.standardError =
        named(formatSummary(tally, details.inputHead), input);
  }
  return outcome;
}

}  // namespace

std::string outputNameFor(const std::string& inputPath) {
  const std::size_t slash = inputPath.find_last_of(platform::kPathSeparators);
  std::string name =
      slash == std::string::npos ? inputPath : inputPath.substr(slash + 1);
  if (endsWithCaseBlind(name, ".gz")) name.resize(name.size() - 3);
  if (endsWithCaseBlind(name, ".mgf")) name.resize(name.size() - 4);
  return name + ".msp";
}

int convertBatch(const CommandLine& commandLine) {
  const std::vector<std::string>& inputs = commandLine.paths;
  const std::string& dir = commandLine.outputDir;
  std::vector<std::string> outputs;
  std::map<std::string, std::size_t> claimed;
  for (std::size_t i = 0; i < inputs.size(); ++i) {
    if (inputs[i] == "-") {
      showError("standard input has no name for its library; convert it "
                "alone: mspforge - OUT.msp");
      show(stderr, "Try 'mspforge --help'.\n");
      return ExitUsage;
    }
    const std::string name = outputNameFor(inputs[i]);
    if (name == ".msp") {
      showError("'" + inputs[i] + "' names no file");
      return ExitUsage;
    }
    const auto [at, fresh] = claimed.emplace(clashKey(name), i);
    if (!fresh) {
      showError("'" + inputs[at->second] + "' and '" + inputs[i] +
                "' would both be written to " + name +
                "; convert them into different directories");
      show(stderr, "Try 'mspforge --help'.\n");
      return ExitUsage;
    }
    const bool separated =
        platform::kPathSeparators.find(dir.back()) != std::string_view::npos;
    std::string output = dir;
    if (!separated) output += '/';
    output += name;
    outputs.push_back(std::move(output));
  }
  if (!platform::makeDirectory(dir.c_str())) {
    const int error = platform::lastError();
    showError("cannot make output directory '" + dir +
              "': " + platform::errorText(error));
    for (const std::string& input : inputs) {
      show(stdout, input + ": Cannot open file\n");
    }
    return ExitCannotOpen;
  }

  const std::size_t cores =
      std::max<std::size_t>(1, std::thread::hardware_concurrency());
  const std::size_t jobs = std::min<std::size_t>(
      inputs.size(),
      commandLine.jobs > 0 ? static_cast<std::size_t>(commandLine.jobs)
                           : cores);

  std::vector<Outcome> outcomes(inputs.size());
  std::vector<ConversionProgress> progress(inputs.size());
  std::uint64_t total = 0;
  for (const std::string& input : inputs) {
    std::uint64_t size = 0;
    if (platform::regularFileSize(input.c_str(), size)) total += size;
  }
  std::unique_ptr<ProgressDisplay> display =
      startProgress(commandLine.progress, total, [&progress] {
        ProgressSnapshot sum;
        for (const ConversionProgress& one : progress) {
          sum.bytes += one.bytesRead.load(std::memory_order_relaxed);
          sum.spectra += one.spectra.load(std::memory_order_relaxed);
        }
        return sum;
      });

  // Results are shown in the order given, each as soon as it and all
  // before it are done.
  std::mutex mutex;
  std::size_t nextToShow = 0;
  int worst = ExitSuccess;
  std::atomic<std::size_t> next{0};
  auto work = [&] {
    for (std::size_t i = next++; i < inputs.size(); i = next++) {
      Outcome outcome =
          convertOneOfMany(inputs[i], outputs[i], commandLine, progress[i]);
      std::lock_guard<std::mutex> lock(mutex);
      outcomes[i] = std::move(outcome);
      outcomes[i].done = true;
      while (nextToShow < inputs.size() && outcomes[nextToShow].done) {
        const Outcome& shown = outcomes[nextToShow];
        if (!shown.standardError.empty()) show(stderr, shown.standardError);
        if (!show(stdout, shown.standardOutput)) {
          worst = std::max<int>(worst, ExitIoFailure);
        }
        worst = std::max(worst, shown.exitCode);
        ++nextToShow;
      }
    }
  };
  std::vector<std::thread> workers;
  for (std::size_t j = 1; j < jobs; ++j) workers.emplace_back(work);
  work();
  for (std::thread& worker : workers) worker.join();
  if (display) display->stop();
  return worst;
}

}  // namespace mspforge
