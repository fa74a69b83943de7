// The command line: options before the paths, as POSIX utilities take
// them.
//
//   mspforge [OPTIONS] IN OUT
//   mspforge [OPTIONS] --output-dir DIR IN...
//
// The first argument that does not begin with "-" ends the options, and so
// does "--"; "-" alone is a path (standard input or output).
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "mspforge/mspforge.h"

namespace mspforge {

struct CommandLine {
  enum class Progress { WhenWatched, Always, Never };

  bool anyOption = false;  // at least one option was given
  bool help = false;
  bool version = false;
  bool quiet = false;
  Progress progress = Progress::WhenWatched;
  bool report = false;
  std::string reportPath;  // "-": standard output
  std::vector<std::pair<std::string, std::string>> defaults;
  std::string nameTemplate;  // --name: names spectra that have none
  LibraryLayout layout = LibraryLayout::Nist;  // --for
  bool batch = false;
  std::string outputDir;
  int jobs = 0;  // 0: one per core
  unsigned threads = 0;  // threads per conversion; 0: one per core
  std::vector<std::string> paths;
};

// Parses arguments (arguments[0] being the program). False for a usage
// error, described in error.
bool parseCommandLine(const std::vector<std::string>& arguments,
                      CommandLine& commandLine, std::string& error);

// For a run of one file given more than two paths: the words that say the
// arguments after the output path are ignored, naming them; empty
// otherwise.
std::string ignoredArgumentsWarning(const CommandLine& commandLine);

// The text of --help, with its line ends.
std::string helpText();

}  // namespace mspforge
