// The command's options end to end, as a user sees them: what each prints
// on standard output and standard error, and what it writes.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

#include "app/command_line.h"
#include "platform/platform_io.h"
#include "test_files.h"

namespace mspforge::test {
namespace {

const std::string kCorpus = std::string(MSPFORGE_TEST_DATA) + "/corpus/";

// What the Windows build says where POSIX gives strerror's words: only the
// line up to the reason is compared there.
void expectErrorLine(const std::string& stderrText, const std::string& line,
                     const std::string& what) {
  if (!platform::kCrLfLineEnds) {
    EXPECT_EQ(stderrText, line) << what;
    return;
  }
  const std::size_t colon = line.rfind(": ");
  EXPECT_EQ(stderrText.substr(0, colon), line.substr(0, colon)) << what;
}

TEST(CommandLineTest, OptionsComeBeforeThePaths) {
  struct Case {
    std::vector<std::string> args;
    bool parsed;
    std::vector<std::string> paths;
    int jobs;
  };
  const Case cases[] = {
      {{"in", "out"}, true, {"in", "out"}, 0},
      {{"-", "-"}, true, {"-", "-"}, 0},
      {{"--", "-x.mgf", "out"}, true, {"-x.mgf", "out"}, 0},
      {{"in", "--bogus", "-q"}, true, {"in", "--bogus", "-q"}, 0},
      {{"-q", "--no-progress", "in", "out"}, true, {"in", "out"}, 0},
      {{"-j3", "--output-dir", "d", "a"}, true, {"a"}, 3},
      {{"--jobs=2", "--output-dir=d", "a"}, true, {"a"}, 2},
      {{"-j", "4", "--output-dir", "d", "a", "b"}, true, {"a", "b"}, 4},
      {{"--bogus", "in", "out"}, false, {}, 0},
      {{"-x", "in", "out"}, false, {}, 0},
      {{"-j", "0", "in"}, false, {}, 0},
      {{"-j", "2", "in", "out"}, false, {}, 0},  // -j needs --output-dir
      {{"-qj2", "--output-dir=d", "a"}, true, {"a"}, 2},
      {{"-qx", "in", "out"}, false, {}, 0},
      {{"-qT", "3", "in", "out"}, true, {"in", "out"}, 0},
      {{"-qT"}, false, {}, 0},
      {{"-j", "two", "in"}, false, {}, 0},
      {{"--default", "MSLEVEL", "in", "out"}, false, {}, 0},
      {{"--default", "=2", "in", "out"}, false, {}, 0},
      {{"--report"}, false, {}, 0},
      {{"--report", "r", "--output-dir", "d", "a"}, false, {}, 0},
  };
  for (const Case& c : cases) {
    std::vector<std::string> arguments = {"mspforge"};
    arguments.insert(arguments.end(), c.args.begin(), c.args.end());
    CommandLine commandLine;
    std::string error;
    EXPECT_EQ(parseCommandLine(arguments, commandLine, error), c.parsed)
        << c.args[0] << " " << error;
    if (!c.parsed) {
      EXPECT_FALSE(error.empty());
      continue;
    }
    EXPECT_EQ(commandLine.paths, c.paths) << c.args[0];
    EXPECT_EQ(commandLine.jobs, c.jobs) << c.args[0];
  }
  CommandLine commandLine;
  std::string error;
  ASSERT_TRUE(parseCommandLine(
      {"mspforge", "--default", "MSLEVEL=2", "--default=TITLE=a=b", "i", "o"},
      commandLine, error));
  EXPECT_EQ(commandLine.defaults,
            (std::vector<std::pair<std::string, std::string>>{
                {"MSLEVEL", "2"}, {"TITLE", "a=b"}}));
  // Short flags combine; one that takes a value takes the rest.
  CommandLine grouped;
  ASSERT_TRUE(parseCommandLine({"mspforge", "-qT2", "-hV", "i", "o"}, grouped,
                               error));
  EXPECT_TRUE(grouped.quiet && grouped.help && grouped.version);
  EXPECT_EQ(grouped.threads, 2u);
}

TEST(CliOptionsTest, HelpVersionAndUsageErrors) {
  struct Case {
    std::vector<std::string> args;
    int exitCode;
    std::string stdoutStart;
    std::string stderrText;
  };
  const Case cases[] = {
      {{"--version"}, 0, "mspforge " MSPFORGE_VERSION "\n", ""},
      {{"-V"}, 0, "mspforge " MSPFORGE_VERSION "\n", ""},
      {{"--help"}, 0, "Usage: mspforge [OPTIONS] IN.mgf OUT.msp\n", ""},
      {{"-h"}, 0, "Usage: mspforge [OPTIONS] IN.mgf OUT.msp\n", ""},
      {{"--bogus", "a", "b"}, 1, "",
       "mspforge: unknown option '--bogus'\nTry 'mspforge --help'.\n"},
      {{"-q", "in.mgf"}, 1, "Usage: mspforge <input mgf> <output msp>",
       "\nTry 'mspforge --help'.\n"},
      {{"--output-dir", "d"}, 1, "",
       "mspforge: --output-dir needs the MGF files to convert\n"
       "Try 'mspforge --help'.\n"},
      {{"-qh"}, 0, "Usage: mspforge [OPTIONS] IN.mgf OUT.msp\n", ""},
      {{"-j", "2", "a", "b"}, 1, "",
       "mspforge: -j (--jobs) converts several files at once, with "
       "--output-dir; to convert one file on several threads, use -T\n"
       "Try 'mspforge --help'.\n"},
      {{"-qz", "a", "b"}, 1, "",
       "mspforge: unknown option '-z' in '-qz'\nTry 'mspforge --help'.\n"},
  };
  for (const Case& c : cases) {
    RunResult run = runMspforge(c.args);
    EXPECT_EQ(run.exitCode, c.exitCode) << c.args[0];
    EXPECT_EQ(run.stdoutText.substr(0, c.stdoutStart.size()), c.stdoutStart)
        << c.args[0];
    EXPECT_EQ(run.stderrText, c.stderrText) << c.args[0];
  }
  const std::string help = runMspforge({"--help"}).stdoutText;
  for (const char* option : {"--quiet", "--default KEY=VALUE", "--report FILE",
                             "--progress", "--no-progress", "--output-dir DIR",
                             "--jobs N", "Exit status:", "Examples:"}) {
    EXPECT_NE(help.find(option), std::string::npos) << option;
  }
}

// Each failure says which file and why, on standard error, beside the
// message that scripts read on standard output.
TEST(CliOptionsTest, ErrorsNameTheFileAndTheReason) {
  TempDir dir;
  writeFile(dir.path("in.mgf"), kOneRecord);
  writeFile(dir.path("spectra.mgf"), kOneRecord);
  makeDirectory(dir.path("data"));
  struct Case {
    std::string input, output;
    int exitCode;
    std::string message;
    std::string errorLine;
  };
  const std::string in = dir.path("in.mgf");
  const Case cases[] = {
      {dir.path("data"), dir.path("o.msp"), 2, "Cannot open file\n",
       "mspforge: cannot open input '" + dir.path("data") +
           "': Is a directory\n"},
      {dir.path("none.mgf"), dir.path("o.msp"), 2, "Cannot open file\n",
       "mspforge: cannot open input '" + dir.path("none.mgf") +
           "': No such file or directory\n"},
      {in, dir.path("x/out.msp"), 2, "Cannot open file\n",
       "mspforge: cannot open output '" + dir.path("x/out.msp") +
           "': No such file or directory\n"},
      {in, dir.path("data"), 2, "Cannot open file\n",
       "mspforge: cannot open output '" + dir.path("data") +
           "': Is a directory\n"},
      {in, in, 2, "Cannot open file\n",
       "mspforge: cannot open output '" + in +
           "': it is the input file; not writing over it\n"},
      {in, dir.path("spectra.mgf"), 2, "Cannot open file\n",
       "mspforge: '" + dir.path("spectra.mgf") +
           "' holds MGF spectra; not replacing it (are the paths swapped?)\n"},
  };
  for (const Case& c : cases) {
    RunResult run = runMspforge({c.input, c.output});
    EXPECT_EQ(run.exitCode, c.exitCode) << c.errorLine;
    EXPECT_EQ(run.stdoutText, c.message) << c.errorLine;
    expectErrorLine(run.stderrText, c.errorLine, c.errorLine);
  }
  // A failed write names its reason too: see
  // CliTest.FullDiskIsReportedNotPassedOffAsSuccess, the one test that
  // writes /dev/full (it takes the device's lock).
}

}  // namespace
}  // namespace mspforge::test
