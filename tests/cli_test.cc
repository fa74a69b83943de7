// End-to-end runs of the built mspforge binary on real files.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/platform_io.h"
#include "test_files.h"

namespace mspforge::test {
namespace {

TEST(CliTest, UsageWithFewerThanTwoArguments) {
  TempDir dir;
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{}, {dir.path("in.mgf")}}) {
    RunResult run = runMspforge(args);
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.stdoutText, "Usage: mspforge <input mgf> <output msp>");
  }
}

TEST(CliTest, ConvertsAndShowsTheTally) {
  TempDir dir;
  writeFile(dir.path("in.mgf"), kOneRecord + "BEGIN IONS\nEND IONS\n");
  writeFile(dir.path("out.msp"), "old contents that must go away");
  RunResult run = runMspforge(
      {dir.path("in.mgf"), dir.path("out.msp"), "extra", "arguments"});
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(run.stdoutText,
            "Total spectra = 2 Ignored spectra(no peaks) = 1\n");
  EXPECT_EQ(readMspFile(dir.path("out.msp")), kOneRecordMsp);
}

// File names reach the file system byte for byte (on Windows: as UTF-8
// turned into the UTF-16 that the file system takes).
TEST(CliTest, PathsWithNonAsciiCharacters) {
  TempDir dir;
  const std::string folder = dir.path("Bibliothèque ü 質量分析");
  makeDirectory(folder);
  const std::string input = folder + "/spéctres ü 漢字.mgf";
  const std::string output = folder + "/bibliothèque 質量.msp";
  writeFile(input, kOneRecord);
  RunResult run = runMspforge({input, output});
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(run.stdoutText, "Total spectra = 1\n");
  EXPECT_EQ(readMspFile(output), kOneRecordMsp);
}

TEST(CliTest, EmptyInputGivesAnEmptyOutput) {
  TempDir dir;
  writeFile(dir.path("in.mgf"), "");
  RunResult run = runMspforge({dir.path("in.mgf"), dir.path("out.msp")});
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(run.stdoutText, "Total spectra = 0\n");
  ASSERT_TRUE(fileExists(dir.path("out.msp")));
  EXPECT_EQ(readMspFile(dir.path("out.msp")), "");
}

TEST(CliTest, InputsThatCannotBeOpenedLeaveTheOutputAlone) {
  TempDir dir;
  makeDirectory(dir.path("a-directory"));
  for (const std::string& input :
       {dir.path("missing.mgf"), dir.path("a-directory")}) {
    RunResult run = runMspforge({input, dir.path("new.msp")});
    EXPECT_EQ(run.exitCode, 2) << input;
    EXPECT_EQ(run.stdoutText, "Cannot open file\n");
    EXPECT_FALSE(fileExists(dir.path("new.msp")));

    writeFile(dir.path("old.msp"), "keep");
    run = runMspforge({input, dir.path("old.msp")});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_EQ(readFile(dir.path("old.msp")), "keep");
  }
}

TEST(CliTest, OutputsThatCannotBeOpened) {
  TempDir dir;
  writeFile(dir.path("in.mgf"), kOneRecord);
  makeDirectory(dir.path("a-directory"));
  for (const std::string& output :
       {dir.path("no-such-dir/out.msp"), dir.path("a-directory")}) {
    RunResult run = runMspforge({dir.path("in.mgf"), output});
    EXPECT_EQ(run.exitCode, 2) << output;
    EXPECT_EQ(run.stdoutText, "Cannot open file\n");
  }
}

TEST(CliTest, OutputNamingTheInputIsRefusedWithTheInputIntact) {
  TempDir dir;
  const std::string input = dir.path("in.mgf");
  writeFile(input, kOneRecord);
  ASSERT_TRUE(makeHardLink(input, dir.path("hard.msp")));
  std::vector<std::string> outputs = {input, dir.path("hard.msp"),
                                      dir.path("./in.mgf")};
  if (makeSymbolicLink(input, dir.path("soft.msp"))) {
    outputs.push_back(dir.path("soft.msp"));
  } else {
    EXPECT_TRUE(platform::kCrLfLineEnds) << "only Windows may refuse links";
  }
  for (const std::string& output : outputs) {
    RunResult run = runMspforge({input, output});
    EXPECT_EQ(run.exitCode, 2) << output;
    EXPECT_EQ(run.stdoutText, "Cannot open file\n");
    EXPECT_EQ(readFile(input), kOneRecord) << output;
  }
}

// "mspforge spectra.msp spectra.mgf", the paths swapped, must not empty
// the MGF file: an output whose first 64 KiB hold a line beginning
// "BEGIN IONS" is refused untouched. Anything else is replaced.
TEST(CliTest, OutputHoldingMgfIsNeverReplaced) {
  const std::string corpus = std::string(MSPFORGE_TEST_DATA) + "/corpus/";
  const std::string realMgf = readFile(corpus + "gnps-library-pesticides.mgf");
  const std::string realMsp = readFile(corpus + "msp/msdial-tandem-atlas-neg.msp");
  const std::string filler(65525, 'x');
  struct Case {
    const char* what;
    std::string contents;
    bool refused;
  };
  const Case cases[] = {
      {"a real MGF library", realMgf, true},
      {"MGF after comment lines", "# exported\n;\n\nBEGIN IONS\nEND IONS\n",
       true},
      {"MGF after a byte-order mark", "\xEF\xBB\xBF" "BEGIN IONS\n", true},
      {"MGF with CR LF", "COM=x\r\nBEGIN IONS\r\n", true},
      {"BEGIN IONS ending at 64 KiB", filler + "\nBEGIN IONS", true},
      {"BEGIN IONS past 64 KiB", filler + "x\nBEGIN IONS\n", false},
      {"an old MSP library", realMsp, false},
      {"an empty file", "", false},
      {"BEGIN IONS inside a line", "TITLE=BEGIN IONS\n BEGIN IONS\n", false},
      {"a byte-order mark after a line feed", "a\n\xEF\xBB\xBF" "BEGIN IONS\n",
       false},
  };
  for (const Case& c : cases) {
    TempDir dir;
    writeFile(dir.path("spectra.msp"), realMsp);
    writeFile(dir.path("spectra.mgf"), c.contents);
    RunResult run =
        runMspforge({dir.path("spectra.msp"), dir.path("spectra.mgf")});
    if (c.refused) {
      EXPECT_EQ(run.exitCode, 2) << c.what;
      EXPECT_EQ(run.stdoutText, "Cannot open file\n") << c.what;
      EXPECT_TRUE(readFile(dir.path("spectra.mgf")) == c.contents) << c.what;
    } else {
      EXPECT_EQ(run.exitCode, 0) << c.what;
      EXPECT_EQ(run.stdoutText, "Total spectra = 0\n") << c.what;
      EXPECT_EQ(readFile(dir.path("spectra.mgf")), "") << c.what;
    }
  }
}

// A byte-order mark (Notepad's UTF-8) hides no spectrum, read from a file
// or from a pipe.
TEST(CliTest, ByteOrderMarkHidesNoSpectrum) {
  TempDir dir;
  const std::string marked = "\xEF\xBB\xBF" + kOneRecord + kOneRecord;
  writeFile(dir.path("in.mgf"), marked);
  RunResult run = runMspforge({dir.path("in.mgf"), dir.path("out.msp")});
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(run.stdoutText, "Total spectra = 2\n");
  EXPECT_EQ(readMspFile(dir.path("out.msp")), kOneRecordMsp + kOneRecordMsp);
  if (platform::kCrLfLineEnds) return;  // no /dev/stdin on Windows
  RunOptions piped;
  piped.stdinText = &marked;
  run = runMspforge({"/dev/stdin", "/dev/stdout"}, piped);
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(run.stderrText, "Total spectra = 2\n");
  EXPECT_EQ(run.stdoutText, kOneRecordMsp + kOneRecordMsp);
}

TEST(CliTest, OutputLockedByAnotherConversionIsRefused) {
  TempDir dir;
  writeFile(dir.path("in.mgf"), kOneRecord);
  writeFile(dir.path("out.msp"), "being written");
  auto holder = std::make_unique<FileHolder>(dir.path("out.msp"));
  ASSERT_TRUE(holder->holds());
  RunResult run = runMspforge({dir.path("in.mgf"), dir.path("out.msp")});
  EXPECT_EQ(run.exitCode, 2);
  EXPECT_EQ(run.stdoutText, "Cannot open file\n");
  holder.reset();
  EXPECT_EQ(readFile(dir.path("out.msp")), "being written");

  run = runMspforge({dir.path("in.mgf"), dir.path("out.msp")});
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(readMspFile(dir.path("out.msp")), kOneRecordMsp);
}

TEST(CliTest, InputLockedForWritingIsRefused) {
  TempDir dir;
  writeFile(dir.path("in.mgf"), kOneRecord);
  FileHolder holder(dir.path("in.mgf"));
  ASSERT_TRUE(holder.holds());
  RunResult run = runMspforge({dir.path("in.mgf"), dir.path("out.msp")});
  EXPECT_EQ(run.exitCode, 2);
  EXPECT_EQ(run.stdoutText, "Cannot open file\n");
  EXPECT_FALSE(fileExists(dir.path("out.msp")));
}

TEST(CliTest, FullDiskIsReportedNotPassedOffAsSuccess) {
  SKIP_WITHOUT_POSIX_DEVICES();
  TempDir dir;
  // Small enough to stay in the output buffer until the final flush, and
  // large enough to fill several buffers.
  for (int copies : {1, 20000}) {
    std::string input;
    for (int i = 0; i < copies; ++i) input += kOneRecord;
    writeFile(dir.path("in.mgf"), input);
    RunResult run = runMspforge({dir.path("in.mgf"), "/dev/full"});
    EXPECT_EQ(run.exitCode, 3) << copies;
    EXPECT_EQ(run.stdoutText, "Cannot write file\n");
    EXPECT_EQ(run.stderrText,
              "mspforge: cannot write '/dev/full': No space left on device\n");
  }
}

TEST(CliTest, WritesToStandardOutputAndReadsStandardInput) {
  SKIP_WITHOUT_POSIX_DEVICES();
  TempDir dir;
  writeFile(dir.path("in.mgf"), kOneRecord);
  // The pipe carries the records alone; the tally goes to standard error.
  RunResult run = runMspforge({dir.path("in.mgf"), "/dev/stdout"});
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(run.stdoutText, kOneRecordMsp);
  EXPECT_EQ(run.stderrText, "Total spectra = 1\n");

  RunOptions fromFile;
  fromFile.stdinPath = dir.path("in.mgf");
  run = runMspforge({"/dev/stdin", dir.path("out.msp")}, fromFile);
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(run.stdoutText, "Total spectra = 1\n");
  EXPECT_EQ(run.stderrText, "");
  EXPECT_EQ(readMspFile(dir.path("out.msp")), kOneRecordMsp);
}

// An output path that names standard output itself is written through it:
// what the shell's ">" or ">>" set up holds, nothing overwrites anything,
// and every message goes to standard error.
TEST(CliTest, StandardOutputAsTheOutput) {
  struct Case {
    const char* what;
    std::string outputArg;  // "" stands for the redirected file's own path
    std::string stdoutFile;  // "" for a pipe
    bool append;
  };
  const Case cases[] = {
      {"/dev/stdout into a pipe", "/dev/stdout", "", false},
      {"/dev/fd/1 into a pipe", "/dev/fd/1", "", false},
      {"/dev/stdout redirected with >", "/dev/stdout", "lib.msp", false},
      {"/dev/stdout redirected with >>", "/dev/stdout", "lib.msp", true},
      {"the redirected file by path, >", "", "lib.msp", false},
      {"the redirected file by path, >>", "", "lib.msp", true},
  };
  for (const Case& c : cases) {
    // Windows has no /dev/stdout; a path still names the file that
    // standard output is redirected to.
    if (platform::kCrLfLineEnds && c.outputArg.starts_with("/dev/")) continue;
    TempDir dir;
    writeFile(dir.path("in.mgf"), kOneRecord + kOneRecord);
    const std::string kept = platform::kCrLfLineEnds ? "kept\r\n" : "kept\n";
    writeFile(dir.path("lib.msp"), kept);
    RunOptions options;
    if (!c.stdoutFile.empty()) options.stdoutPath = dir.path(c.stdoutFile);
    options.stdoutAppend = c.append;
    const std::string output =
        c.outputArg.empty() ? dir.path(c.stdoutFile) : c.outputArg;
    RunResult run = runMspforge({dir.path("in.mgf"), output}, options);
    EXPECT_EQ(run.exitCode, 0) << c.what;
    EXPECT_EQ(run.stderrText, "Total spectra = 2\n") << c.what;
    const std::string records = kOneRecordMsp + kOneRecordMsp;
    if (c.stdoutFile.empty()) {
      EXPECT_EQ(run.stdoutText, records) << c.what;
    } else {
      EXPECT_EQ(readMspFile(dir.path(c.stdoutFile)),
                (c.append ? "kept\n" : "") + records)
          << c.what;
    }
  }
}

TEST(CliTest, StandardOutputAsTheOutputSendsEveryMessageToStandardError) {
  SKIP_WITHOUT_POSIX_DEVICES();
  TempDir dir;
  writeFile(dir.path("empty.mgf"), "");
  RunResult run = runMspforge({dir.path("empty.mgf"), "/dev/stdout"});
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(run.stdoutText, "");
  EXPECT_EQ(run.stderrText,
            "Total spectra = 0\nmspforge: no spectrum read: no line begins "
            "with BEGIN IONS; the input is empty\n");

  run = runMspforge({dir.path("missing.mgf"), "/dev/stdout"});
  EXPECT_EQ(run.exitCode, 2);
  EXPECT_EQ(run.stdoutText, "");
  EXPECT_EQ(run.stderrText, "Cannot open file\nmspforge: cannot open input '" +
                                dir.path("missing.mgf") +
                                "': No such file or directory\n");

  // Standard output redirected onto the input itself: refused, the input
  // left whole.
  writeFile(dir.path("in.mgf"), kOneRecord);
  RunOptions ontoInput;
  ontoInput.stdoutPath = dir.path("in.mgf");
  ontoInput.stdoutAppend = true;
  run = runMspforge({dir.path("in.mgf"), "/dev/stdout"}, ontoInput);
  EXPECT_EQ(run.exitCode, 2);
  EXPECT_EQ(run.stderrText,
            "Cannot open file\nmspforge: cannot open output '/dev/stdout': "
            "it is the input file; not writing over it\n");
  EXPECT_EQ(readFile(dir.path("in.mgf")), kOneRecord);

  // The usage message stays where it was.
  run = runMspforge({"/dev/stdout"});
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(run.stdoutText, "Usage: mspforge <input mgf> <output msp>");
  EXPECT_EQ(run.stderrText, "");
}

}  // namespace
}  // namespace mspforge::test

namespace mspforge::test {
namespace {

// The bundled example converts to exactly the MSP shipped beside it.
TEST(CliTest, BundledExampleConvertsToItsShippedOutput) {
  TempDir dir;
  RunResult run = runMspforge({std::string(MSPFORGE_EXAMPLES) + "/library.mgf",
                               dir.path("library.msp")});
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(run.stdoutText,
            "Total spectra = 8 Ignored spectra(no peaks) = 1 Unrecognized "
            "format 1 spectra\n");
  EXPECT_EQ(readMspFile(dir.path("library.msp")),
            readFile(std::string(MSPFORGE_EXAMPLES) + "/library.msp"));
}

}  // namespace
}  // namespace mspforge::test
