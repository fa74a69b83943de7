#include "app/command_line.h"

#include <charconv>
#include <string_view>

namespace mspforge {
namespace {

// Options that take a value, long and short names.
struct ValueOption {
  std::string_view longName;
  char shortName;  // 0: none
};
constexpr ValueOption kReport{"--report", 0};
constexpr ValueOption kDefault{"--default", 0};
constexpr ValueOption kName{"--name", 0};
constexpr ValueOption kFor{"--for", 0};
constexpr ValueOption kOutputDir{"--output-dir", 0};
constexpr ValueOption kJobs{"--jobs", 'j'};
constexpr ValueOption kThreads{"--threads", 'T'};

bool setDefault(std::string_view text, CommandLine& commandLine,
                std::string& error) {
  const std::size_t equals = text.find('=');
  if (equals == std::string_view::npos || equals == 0) {
    error = "--default needs KEY=VALUE, as an MGF header line: '" +
            std::string(text) + "'";
    return false;
  }
  if (text.find('\n') != std::string_view::npos ||
      text.find('\r') != std::string_view::npos) {
    error = "--default KEY=VALUE cannot hold a line end";
    return false;
  }
  commandLine.defaults.emplace_back(std::string(text.substr(0, equals)),
                                    std::string(text.substr(equals + 1)));
  return true;
}

// A count of 1 or more; false, with error saying what the option needs.
bool readCount(std::string_view text, const char* option, const char* what,
               int& count, std::string& error) {
  const auto [end, ec] =
      std::from_chars(text.data(), text.data() + text.size(), count);
  if (ec != std::errc() || end != text.data() + text.size() || count < 1) {
    error = std::string(option) + " needs a number of " + what +
            ", 1 or more: '" + std::string(text) + "'";
    return false;
  }
  return true;
}

bool setValue(const ValueOption& option, std::string_view value,
              CommandLine& commandLine, std::string& error) {
  if (&option == &kReport) {
    if (value.empty()) {
      error = "--report needs a file name";
      return false;
    }
    commandLine.report = true;
    commandLine.reportPath = value;
    return true;
  }
  if (&option == &kDefault) return setDefault(value, commandLine, error);
  if (&option == &kFor) {
    if (!libraryLayoutNamed(value, commandLine.layout)) {
      error = "--for takes nist, msdial, matchms or openms: '" +
              std::string(value) + "'";
      return false;
    }
    return true;
  }
  if (&option == &kName) {
    if (value.empty() || value.find_first_not_of(" \t") == value.npos) {
      error = "--name needs a name, such as 'Feature {FEATURE_ID}'";
      return false;
    }
    if (value.find('\n') != value.npos || value.find('\r') != value.npos) {
      error = "--name cannot hold a line end";
      return false;
    }
    commandLine.nameTemplate = value;
    return true;
  }
  if (&option == &kOutputDir) {
    if (value.empty()) {
      error = "--output-dir needs a directory (\".\" for this one)";
      return false;
    }
    commandLine.batch = true;
    commandLine.outputDir = value;
    return true;
  }
  int count = 0;
  if (&option == &kThreads) {
    if (!readCount(value, "-T", "threads", count, error)) return false;
    commandLine.threads = static_cast<unsigned>(count);
    return true;
  }
  if (!readCount(value, "-j", "conversions", count, error)) return false;
  commandLine.jobs = count;
  return true;
}

bool setFlag(std::string_view name, CommandLine& commandLine) {
  if (name == "--help" || name == "-h") {
    commandLine.help = true;
  } else if (name == "--version" || name == "-V") {
    commandLine.version = true;
  } else if (name == "--quiet" || name == "-q") {
    commandLine.quiet = true;
  } else if (name == "--progress") {
    commandLine.progress = CommandLine::Progress::Always;
  } else if (name == "--no-progress") {
    commandLine.progress = CommandLine::Progress::Never;
  } else {
    return false;
  }
  return true;
}

constexpr const ValueOption* kValueOptions[] = {
    &kReport, &kDefault, &kName, &kFor, &kOutputDir, &kJobs, &kThreads};

// A long option at arguments[i], with its value when it takes one (after
// "=" or as the next argument); i moves past what it took. False, with
// error set, when it is unknown or lacks its value.
bool takeLongOption(const std::vector<std::string>& arguments, std::size_t& i,
                    CommandLine& commandLine, std::string& error) {
  const std::string_view arg = arguments[i];
  if (setFlag(arg, commandLine)) return true;
  for (const ValueOption* option : kValueOptions) {
    if (arg == option->longName) {
      if (i + 1 == arguments.size()) {
        error = std::string(option->longName) + " needs a value";
        return false;
      }
      return setValue(*option, arguments[++i], commandLine, error);
    }
    if (arg.starts_with(option->longName) &&
        arg.size() > option->longName.size() &&
        arg[option->longName.size()] == '=') {
      return setValue(*option, arg.substr(option->longName.size() + 1),
                      commandLine, error);
    }
  }
  error = "unknown option '" + std::string(arg) + "'";
  return false;
}

// A group of short options at arguments[i], as POSIX utilities take them:
// flags combine ("-qh"), and an option that takes a value takes the rest
// of the group ("-qT2") or, when nothing is left, the next argument.
bool takeShortOptions(const std::vector<std::string>& arguments,
                      std::size_t& i, CommandLine& commandLine,
                      std::string& error) {
  const std::string_view group = arguments[i];
  for (std::size_t at = 1; at < group.size(); ++at) {
    const char letter = group[at];
    if (setFlag(std::string{'-', letter}, commandLine)) continue;
    const ValueOption* option = nullptr;
    for (const ValueOption* candidate : kValueOptions) {
      if (candidate->shortName != 0 && candidate->shortName == letter) {
        option = candidate;
      }
    }
    if (option == nullptr) {
      error = "unknown option '" + std::string{'-', letter} + "'";
      if (group.size() > 2) error += " in '" + std::string(group) + "'";
      return false;
    }
    if (at + 1 < group.size()) {
      return setValue(*option, group.substr(at + 1), commandLine, error);
    }
    if (i + 1 == arguments.size()) {
      error = std::string("-") + letter + " needs a value";
      return false;
    }
    return setValue(*option, arguments[++i], commandLine, error);
  }
  return true;
}

}  // namespace

bool parseCommandLine(const std::vector<std::string>& arguments,
                      CommandLine& commandLine, std::string& error) {
  std::size_t i = 1;
  for (; i < arguments.size(); ++i) {
    const std::string_view arg = arguments[i];
    if (arg == "--") {
      ++i;
      break;
    }
    if (arg.size() < 2 || arg.front() != '-') break;  // a path: "-" too
    commandLine.anyOption = true;
    const bool taken = arg[1] == '-'
                           ? takeLongOption(arguments, i, commandLine, error)
                           : takeShortOptions(arguments, i, commandLine, error);
    if (!taken) return false;
  }
  for (; i < arguments.size(); ++i) commandLine.paths.push_back(arguments[i]);
  if (commandLine.batch && commandLine.report) {
    error = "--report writes one file's report; convert one file at a time "
            "to have one";
    return false;
  }
  if (commandLine.jobs != 0 && !commandLine.batch) {
    error = "-j (--jobs) converts several files at once, with --output-dir; "
            "to convert one file on several threads, use -T";
    return false;
  }
  return true;
}

std::string ignoredArgumentsWarning(const CommandLine& commandLine) {
  if (commandLine.batch || commandLine.paths.size() <= 2) return "";
  std::string text = "ignoring arguments after the output path:";
  for (std::size_t i = 2; i < commandLine.paths.size(); ++i) {
    // Quoted as a POSIX shell would take them back.
    text += " '";
    for (const char c : commandLine.paths[i]) {
      if (c == '\'') {
        text += "'\\''";
      } else {
        text += c;
      }
    }
    text += "'";
  }
  return text + " (options go before the paths)";
}

std::string helpText() {
  return R"(Usage: mspforge [OPTIONS] IN.mgf OUT.msp
       mspforge [OPTIONS] --output-dir DIR IN.mgf...

Converts MGF peak lists (tandem mass spectra) into MSP spectral-library
text. IN may be gzip-compressed or UTF-16 text; "-" is standard input as
IN and standard output as OUT. At the end a tally line is printed, and on
standard error what was not written and why.

Options:
  -h, --help             show this help and exit
  -V, --version          show the version and exit
  -q, --quiet            do not say what was not written, and why
      --default KEY=VALUE
                         give every spectrum without a KEY header line the
                         line KEY=VALUE, before conversion (repeatable):
                         --default MSLEVEL=2 for exports without MS level
      --name TEMPLATE    name each spectrum without a name (no NAME,
                         COMPOUND_NAME or TITLE) TEMPLATE, each {KEY} in it
                         replaced by the value of its header line KEY:
                         --name 'Feature {FEATURE_ID}' for feature lists
      --for READER       write the library for the tool that reads it:
                         nist (NIST MS Search, mssearchr; the default),
                         msdial (MS-DIAL), matchms, openms (OpenMS): keys
                         in capitals, structures and retention time on
                         lines of their own, peaks as plain numbers
      --report FILE      write one tab-separated line per spectrum read:
                         where it starts, its name, whether it was written
                         and why not, and its Precursor_type and where that
                         came from ("-": standard output, when OUT is a file)
      --progress         show progress on standard error even when it is
                         not a terminal (a line every few seconds)
      --no-progress      never show progress (shown by default on a
                         terminal, for runs longer than a second)
      --output-dir DIR   convert each IN into DIR/NAME.msp, NAME being its
                         file name without .gz and .mgf; one tally line
                         per input, in order, after its name
  -j, --jobs N           with --output-dir: N conversions at once (default:
                         one per core)
  -T, --threads N        convert a large input on N threads (default and
                         most: one per core); the output is the same on
                         any number
  --                     end of options (for a file named "-x.mgf")

Exit status:
  0  the input was read to its end and the output is complete
  1  usage error
  2  a file cannot be opened, the output is the input, or the output is an
     MGF file (the paths swapped?)
  3  reading or writing failed; the output is incomplete
  4  out of memory
  With --output-dir, the worst status of all the conversions.

Examples:
  mspforge library.mgf library.msp
  mspforge --default MSLEVEL=2 export.mgf.gz library.msp
  mspforge --name 'Feature {FEATURE_ID}' features.mgf features.msp
  mspforge --for msdial library.mgf library-msdial.msp
  mspforge --output-dir libraries -j 4 spectra/*.mgf
)";
}

}  // namespace mspforge
