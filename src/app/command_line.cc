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

}  // namespace

bool parseCommandLine(const std::vector<std::string>& arguments,
                      CommandLine& commandLine, std::string& error) {
  constexpr const ValueOption* kValueOptions[] = {
      &kReport, &kDefault, &kName, &kFor, &kOutputDir, &kJobs, &kThreads};
  std::size_t i = 1;
  for (; i < arguments.size(); ++i) {
    const std::string_view arg = arguments[i];
    if (arg == "--") {
      ++i;
      break;
    }
    if (arg.size() < 2 || arg.front() != '-') break;  // a path: "-" too
    commandLine.anyOption = true;
    if (setFlag(arg, commandLine)) continue;
    bool taken = false;
    for (const ValueOption* option : kValueOptions) {
      std::string_view value;
      bool matched = false;
      if (arg == option->longName) {
        if (i + 1 == arguments.size()) {
          error = std::string(option->longName) + " needs a value";
          return false;
        }
        value = arguments[++i];
        matched = true;
      } else if (arg.starts_with(option->longName) &&
                 arg.size() > option->longName.size() &&
                 arg[option->longName.size()] == '=') {
        value = arg.substr(option->longName.size() + 1);
        matched = true;
      } else if (option->shortName != 0 && arg[1] == option->shortName) {
        if (arg.size() > 2) {
          value = arg.substr(2);
        } else if (i + 1 == arguments.size()) {
          error = std::string("-") + option->shortName + " needs a value";
          return false;
        } else {
          value = arguments[++i];
        }
        matched = true;
      }
      if (matched) {
        if (!setValue(*option, value, commandLine, error)) return false;
        taken = true;
        break;
      }
    }
    if (!taken) {
      error = "unknown option '" + std::string(arg) + "'";
      return false;
    }
  }
  for (; i < arguments.size(); ++i) commandLine.paths.push_back(arguments[i]);
  if (commandLine.batch && commandLine.report) {
    error = "--report writes one file's report; convert one file at a time "
            "to have one";
    return false;
  }
  return true;
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
