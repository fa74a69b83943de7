// The command's options end to end, as a user sees them: what each prints
// on standard output and standard error, and what it writes.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

#include "app/batch.h"
#include "app/command_line.h"
#include "platform/platform_io.h"
#include "test_files.h"

#if defined(MSPFORGE_TEST_GZIP)
#include <zlib.h>
#endif

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

// What was left out, and why, on the corpus: every reason named, with
// what brings those spectra in; -q says nothing.
TEST(CliOptionsTest, SummaryOfWhatWasNotWritten) {
  struct Case {
    const char* file;
    std::string summary;
    std::vector<std::string> options = {};
  };
  const std::string msLevelFix =
      "mspforge: if the spectra without an MS level are MS2, add "
      "--default MSLEVEL=2\n";
  const Case cases[] = {
      {"gnps-library-pesticides.mgf", ""},
      {"fbmn-feature-export-openms.mgf",
       "mspforge: 0 of 199 spectra written; not written: 199 without a "
       "compound name (NAME, COMPOUND_NAME or TITLE)\n"
       "mspforge: to write the spectra without a name, name them from their "
       "FEATURE_ID: add --name 'Feature {FEATURE_ID}'\n"},
      {"proteomics-tmt-msconvert-style.mgf",
       "mspforge: 0 of 7 spectra written; not written: 7 without an MS level "
       "(MSLEVEL or MS_LEVEL)\n" + msLevelFix},
      {"empty-peak-list.mgf",
       "mspforge: 0 of 1 spectra written; not written: 1 without peaks (peak "
       "lines below 1.0 do not count)\n"},
      {"annotated-peaks-insilico-fiora.mgf",
       "mspforge: 0 of 1 spectra written; not written: 1 without an MS level "
       "(MSLEVEL or MS_LEVEL), 1 without a precursor m/z (PEPMASS or "
       "PRECURSOR_MZ); 1 spectrum lacks more than one and is counted under "
       "each\n"
       "mspforge: 1 spectrum has neither a precursor m/z nor an MS level: it "
       "looks like an MS1 or EI spectrum, and an MSP tandem library needs a "
       "precursor m/z\n"},
      // Adducts that only the charge gave (CHARGE=1+, 2+, 3+), not those
      // stated or read from a name.
      {"fbmn-feature-export-openms.mgf",
       "mspforge: 199 of 199 written spectra have a Precursor_type guessed "
       "from their charge: check them, or state ADDUCT/ION\n",
       {"--name", "Feature {FEATURE_ID}"}},
      {"gnps-library-embl-mcf.mgf",
       "mspforge: 2 of 30 written spectra have a Precursor_type guessed from "
       "their charge: check them, or state ADDUCT/ION\n"},
  };
  TempDir dir;
  for (const Case& c : cases) {
    std::vector<std::string> args = c.options;
    args.insert(args.end(), {kCorpus + c.file, dir.path("out.msp")});
    RunResult run = runMspforge(args);
    EXPECT_EQ(run.exitCode, 0) << c.file;
    EXPECT_EQ(run.stderrText, c.summary) << c.file;
    args.insert(args.begin(), "-q");
    run = runMspforge(args);
    EXPECT_EQ(run.stderrText, "") << c.file;
  }
  // An input without any record: a guess at what it is.
  struct Guess {
    std::string bytes;
    std::string says;
  };
  const Guess guesses[] = {
      {"", "the input is empty"},
      {"PK\x03\x04rest of a zip", "a zip archive"},
      {"BZh91AY&SY", "bzip2"},
      {std::string("B\0E\0G\0I\0N\0 \0I\0O\0N\0S\0", 20), "UTF-16 text without"},
      {"Name: Caffeine\nNum Peaks: 0\n\n", "an MSP library already"},
      {"just some text\n", "is it MGF?"},
  };
  for (const Guess& g : guesses) {
    writeFile(dir.path("in.mgf"), g.bytes);
    RunResult run = runMspforge({dir.path("in.mgf"), dir.path("out.msp")});
    EXPECT_EQ(run.stdoutText, "Total spectra = 0\n");
    EXPECT_EQ(run.stderrText.rfind("mspforge: no spectrum read: no line "
                                   "begins with BEGIN IONS; ", 0), 0u);
    EXPECT_NE(run.stderrText.find(g.says), std::string::npos) << g.says;
  }
}

// A spectrum without END IONS never runs into the next: it is left out,
// outside the tally line, and said.
TEST(CliOptionsTest, UnfinishedSpectraAreLeftOutAndSaid) {
  const std::string record = "MSLEVEL=2\nPEPMASS=1\n100 1\n";
  struct Case {
    std::string mgf;
    std::string tally;
    std::string summary;
    std::string report;  // the outcome column, a line per spectrum
  };
  const Case cases[] = {
      {"BEGIN IONS\nNAME=a\n" + record + "BEGIN IONS\nNAME=b\n" + record +
           "END IONS\n",
       "Total spectra = 1\n",
       "mspforge: 1 spectrum has no END IONS line and was left out: the one at "
       "line 1 (a file cut short, or files joined?)\n",
       "1 1 a no END IONS|2 6 b written|"},
      {"BEGIN IONS\nNAME=a\n" + record + "END IONS\nBEGIN IONS\nNAME=b\n" +
           record + "BEGIN IONS=x\n" + record + "\x1a",
       "Total spectra = 1\n",
       "mspforge: 2 spectra have no END IONS line and were left out, the "
       "first at line 7 (a file cut short, or files joined?)\n",
       "1 1 a written|2 7 b no END IONS|3 12  no END IONS|"},
      {"BEGIN IONS\r\nNAME=a\r\n100 1\r\n",
       "Total spectra = 0\n",
       "mspforge: no complete spectrum read\n"
       "mspforge: 1 spectrum has no END IONS line and was left out: the one at "
       "line 1 (a file cut short, or files joined?)\n",
       "1 1 a no END IONS|"},
  };
  TempDir dir;
  for (const Case& c : cases) {
    writeFile(dir.path("in.mgf"), c.mgf);
    RunResult run =
        runMspforge({"--report", dir.path("report.tsv"), dir.path("in.mgf"),
                     dir.path("out.msp")});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.stdoutText, c.tally);
    EXPECT_EQ(run.stderrText, c.summary);
    // Number, line, name and outcome of each spectrum.
    std::string outcomes;
    const std::string report = readFile(dir.path("report.tsv"));
    for (std::size_t at = report.find('\n') + 1; at < report.size();) {
      const std::size_t end = report.find('\n', at);
      std::string line = report.substr(at, end - at);
      at = end + 1;
      for (int column = 0, from = 0; column < 4; ++column) {
        const std::size_t tab = line.find('\t', static_cast<std::size_t>(from));
        outcomes += line.substr(static_cast<std::size_t>(from),
                                tab - static_cast<std::size_t>(from));
        outcomes += column < 3 ? " " : "|";
        from = static_cast<int>(tab + 1);
      }
    }
    EXPECT_EQ(outcomes, c.report);
  }
}

// --default gives a header line to the records without one, as the sed
// line "/^BEGIN IONS/a MSLEVEL=2" does, byte for byte.
TEST(CliOptionsTest, DefaultsActAsTheSedLine) {
  TempDir dir;
  long written = 0;
  for (const char* file :
       {"proteomics-tmt-msconvert-style.mgf", "crlf-with-comment-lines.mgf",
        "gnps-library-embl-mcf.mgf", "mascot-global-params-charge-column.mgf",
        "matchms-export-dicrotophos.mgf", "pepmass-intensity-and-charge.mgf"}) {
    const std::string mgf = readFile(kCorpus + file);
    std::string sed;  // what the sed line makes of it
    for (std::size_t at = 0; at < mgf.size();) {
      std::size_t end = mgf.find('\n', at);
      end = end == std::string::npos ? mgf.size() : end + 1;
      sed.append(mgf, at, end - at);
      if (mgf.compare(at, 10, "BEGIN IONS") == 0) sed += "MSLEVEL=2\n";
      at = end;
    }
    writeFile(dir.path("sed.mgf"), sed);
    RunResult bySed = runMspforge({dir.path("sed.mgf"), dir.path("sed.msp")});
    RunResult byDefault = runMspforge(
        {"--default", "MSLEVEL=2", kCorpus + file, dir.path("default.msp")});
    EXPECT_EQ(byDefault.stdoutText, bySed.stdoutText) << file;
    EXPECT_EQ(readFile(dir.path("default.msp")), readFile(dir.path("sed.msp")))
        << file;
    written += countMspRecords(readMspFile(dir.path("default.msp")));
  }
  EXPECT_EQ(written, 7 + 3 + 30 + 2 + 1 + 3);

  // A record's own line wins; lines the reader drops have no effect.
  writeFile(dir.path("in.mgf"),
            "BEGIN IONS\nNAME=A\nPEPMASS=1\nMSLEVEL=3\n100 1\nEND IONS\n"
            "BEGIN IONS\nNAME=B\nPEPMASS=1\n100 1\nEND IONS\n");
  RunResult run = runMspforge({"--default", "MSLEVEL=2", "--default",
                               "USI=x", "--default", "SCANS=N/A",
                               "--default=IONMODE=negative",
                               dir.path("in.mgf"), dir.path("out.msp")});
  EXPECT_EQ(run.exitCode, 0);
  const std::string msp = readMspFile(dir.path("out.msp"));
  EXPECT_NE(msp.find("Name: A\nIon_mode: N\nPrecursorMZ: 1\nSpectrum_type: MS3"),
            std::string::npos);
  EXPECT_NE(msp.find("Name: B\nIon_mode: N\nPrecursorMZ: 1\nSpectrum_type: MS2\n"
                     "Comments:\n"),
            std::string::npos);

  // The option put after the paths is ignored, as arguments there always
  // were, and said once, -q or not: the output is that of the run without.
  const std::string ignored =
      "mspforge: ignoring arguments after the output path: '--default' "
      "'MSLEVEL=2' 'it'\\''s' (options go before the paths)\n";
  for (const bool quiet : {false, true}) {
    std::vector<std::string> args = {dir.path("in.mgf"), dir.path("late.msp"),
                                     "--default", "MSLEVEL=2", "it's"};
    if (quiet) args.insert(args.begin(), "-q");
    run = runMspforge(args);
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.stdoutText, "Total spectra = 2 Unrecognized format 1 spectra\n");
    EXPECT_EQ(run.stderrText.substr(0, ignored.size()), ignored);
    EXPECT_EQ(run.stderrText.size() == ignored.size(), quiet);
  }
}

TEST(CliOptionsTest, ReportHasALinePerSpectrum) {
  TempDir dir;
  writeFile(dir.path("in.mgf"),
            "COM=global\n"
            "BEGIN IONS\nNAME=Caffeine M+H\nCHARGE=1\nMSLEVEL=2\nPEPMASS=195\n"
            "110 1\nEND IONS\n\n"
            "BEGIN IONS\nTITLE=no\tpeaks\nEND IONS\n"
            "BEGIN IONS\nNAME=X\n100 1\nEND IONS\n"
            "BEGIN IONS\nNAME=Y\nADDUCT=[M+Na]1+\nMSLEVEL=2\nPEPMASS=1\n"
            "100 1\nEND IONS\n"
            "BEGIN IONS\nNAME=Z [M-H]\nMSLEVEL=2\nPEPMASS=1\n100 1\nEND IONS\n");
  RunResult run = runMspforge({"--report", dir.path("report.tsv"),
                               dir.path("in.mgf"), dir.path("out.msp")});
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(readMspFile(dir.path("report.tsv")),
            "spectrum\tline\tname\toutcome\tmissing\tprecursor_type\t"
            "precursor_type_from\n"
            "1\t2\tCaffeine M+H\twritten\t\t[M+H]+\tname tail\n"
            "2\t10\tno\\tpeaks\tno peaks\t\t\t\n"
            "3\t13\tX\trejected\tMS level, precursor m/z\t\t\n"
            "4\t17\tY\twritten\t\t[M+Na]+\tADDUCT field\n"
            "5\t24\tZ [M-H]\twritten\t\t[M-H]-\tname bracket\n");
  // "-": the report on standard output, the tally after it.
  run = runMspforge(
      {"--report", "-", dir.path("in.mgf"), dir.path("out.msp")});
  EXPECT_EQ(run.stdoutText.rfind("spectrum\tline\t", 0), 0u);
  EXPECT_NE(run.stdoutText.find("\nTotal spectra = 5 Ignored spectra(no "
                                "peaks) = 1 Unrecognized format 1 spectra\n"),
            std::string::npos);
  // Not when the library itself goes there; never over an MGF file.
  run = runMspforge({"--report", "-", dir.path("in.mgf"), "-"});
  EXPECT_EQ(run.exitCode, 1);
  run = runMspforge({"--report", dir.path("in.mgf"), dir.path("in.mgf"),
                     dir.path("out.msp")});
  EXPECT_EQ(run.exitCode, 2);
  EXPECT_EQ(readFile(dir.path("in.mgf")).substr(0, 10), "COM=global");
}

// "-" is standard input as the input and standard output as the output,
// on every platform.
TEST(CliOptionsTest, DashIsStandardInputAndOutput) {
  TempDir dir;
  const std::string mgf = kOneRecord + kOneRecord;
  writeFile(dir.path("in.mgf"), mgf);
  RunOptions piped;
  piped.stdinText = &mgf;
  RunResult run = runMspforge({"-", dir.path("out.msp")}, piped);
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(run.stdoutText, "Total spectra = 2\n");
  EXPECT_EQ(readMspFile(dir.path("out.msp")), kOneRecordMsp + kOneRecordMsp);

  run = runMspforge({dir.path("in.mgf"), "-"});
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(run.stdoutText, kOneRecordMsp + kOneRecordMsp);
  EXPECT_EQ(run.stderrText, "Total spectra = 2\n");

  run = runMspforge({"-", "-"}, piped);
  EXPECT_EQ(run.stdoutText, kOneRecordMsp + kOneRecordMsp);
  EXPECT_EQ(run.stderrText, "Total spectra = 2\n");

  RunOptions fromFile;
  fromFile.stdinPath = dir.path("in.mgf");
  run = runMspforge({"-", dir.path("out2.msp")}, fromFile);
  EXPECT_EQ(run.stdoutText, "Total spectra = 2\n");
  EXPECT_EQ(readMspFile(dir.path("out2.msp")), kOneRecordMsp + kOneRecordMsp);
}

#if defined(MSPFORGE_TEST_GZIP)
// gzip members of bytes, cut into `members` pieces.
std::string gzipped(const std::string& bytes, int members = 1) {
  std::string out;
  const std::size_t piece = bytes.size() / static_cast<std::size_t>(members) + 1;
  for (std::size_t at = 0; at < bytes.size() || out.empty(); at += piece) {
    const std::string part = bytes.substr(at, piece);
    z_stream stream{};
    deflateInit2(&stream, 6, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY);
    std::string member(
        deflateBound(&stream, static_cast<uLong>(part.size())) + 32, '\0');
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(part.data()));
    stream.avail_in = static_cast<uInt>(part.size());
    stream.next_out = reinterpret_cast<Bytef*>(member.data());
    stream.avail_out = static_cast<uInt>(member.size());
    deflate(&stream, Z_FINISH);
    member.resize(stream.total_out);
    deflateEnd(&stream);
    out += member;
    if (bytes.empty()) break;
  }
  return out;
}

std::string utf16(const std::string& ascii, bool bigEndian) {
  std::string out = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
  for (char c : ascii) {
    out += bigEndian ? std::string{'\0', c} : std::string{c, '\0'};
  }
  return out;
}

// Compressed and UTF-16 input converts to the bytes of the plain file,
// from a file and from a pipe; damage is a read error that says so.
TEST(CliOptionsTest, GzipAndUtf16InputConvertAsThePlainFile) {
  TempDir dir;
  for (const char* file :
       {"gnps-library-pesticides.mgf", "crlf-with-comment-lines.mgf",
        "mzmine-library-export.mgf", "gnps-library-embl-mcf.mgf"}) {
    const std::string mgf = readFile(kCorpus + file);
    RunResult plain = runMspforge({kCorpus + file, dir.path("plain.msp")});
    const std::string expected = readFile(dir.path("plain.msp"));
    // UTF-16 made by widening each byte is the same text only for ASCII.
    const bool ascii = std::all_of(mgf.begin(), mgf.end(), [](char c) {
      return static_cast<unsigned char>(c) < 0x80;
    });
    struct Form {
      const char* what;
      std::string bytes;
    };
    const Form forms[] = {
        {"gzip", gzipped(mgf)},
        {"gzip, 3 members", gzipped(mgf, 3)},
        {"gzip and zero padding", gzipped(mgf) + std::string(512, '\0')},
        {"UTF-16 LE", utf16(mgf, false)},
        {"UTF-16 BE", utf16(mgf, true)},
        {"UTF-16 in gzip", gzipped(utf16(mgf, false))},
    };
    for (const Form& form : forms) {
      if (!ascii && std::string_view(form.what).find("UTF-16") !=
                        std::string_view::npos) {
        continue;
      }
      writeFile(dir.path("in.mgf.gz"), form.bytes);
      RunResult run = runMspforge({dir.path("in.mgf.gz"), dir.path("out.msp")});
      EXPECT_EQ(run.stdoutText, plain.stdoutText) << file << ", " << form.what;
      EXPECT_TRUE(readFile(dir.path("out.msp")) == expected)
          << file << ", " << form.what;
      RunOptions piped;
      piped.stdinText = &form.bytes;
      run = runMspforge({"-", dir.path("out.msp")}, piped);
      EXPECT_EQ(run.stdoutText, plain.stdoutText) << file << ", piped "
                                                  << form.what;
      EXPECT_TRUE(readFile(dir.path("out.msp")) == expected)
          << file << ", piped " << form.what;
    }
  }
  const std::string good = gzipped(readFile(kCorpus + "gnps-library-pesticides.mgf"));
  std::string corrupt = good;
  for (std::size_t i = 100; i < 140; ++i) corrupt[i] = static_cast<char>(~corrupt[i]);
  struct Damage {
    const char* what;
    std::string bytes;
    std::string reason;
  };
  const Damage damages[] = {
      {"truncated", good.substr(0, good.size() / 2),
       "the gzip data ends early (a truncated file?)"},
      {"corrupt", corrupt, "the gzip data is corrupt ("},
      {"garbage after", good + "trailing",
       "the gzip data is followed by bytes that are not gzip"},
  };
  for (const Damage& d : damages) {
    writeFile(dir.path("bad.gz"), d.bytes);
    RunResult run = runMspforge({dir.path("bad.gz"), dir.path("out.msp")});
    EXPECT_EQ(run.exitCode, 3) << d.what;
    EXPECT_EQ(run.stdoutText, "Cannot read file\n") << d.what;
    EXPECT_EQ(run.stderrText.rfind("mspforge: cannot read '" +
                                   dir.path("bad.gz") + "': " + d.reason, 0),
              0u)
        << d.what << ": " << run.stderrText;
  }
}
#endif

// Many files at once: the bytes of separate runs, the lines in the order
// given, the worst exit code, and no output for a clash of names.
TEST(CliOptionsTest, BatchConvertsEachFileAsASeparateRunWould) {
  TempDir dir;
  std::vector<std::string> args = {"-j", "2", "--output-dir", dir.path("out")};
  std::vector<std::string> files;
  for (const char* file :
       {"annotated-peaks-insilico-fiora.mgf", "crlf-with-comment-lines.mgf",
        "empty-peak-list.mgf", "fbmn-feature-export-openms.mgf",
        "gnps-library-embl-mcf.mgf", "gnps-library-pesticides.mgf",
        "gnps-matchms-cleaned.mgf", "mascot-global-params-charge-column.mgf",
        "matchms-export-dicrotophos.mgf", "mzmine-library-export.mgf",
        "pepmass-intensity-and-charge.mgf",
        "proteomics-tmt-msconvert-style.mgf"}) {
    files.push_back(file);
    args.push_back(kCorpus + file);
  }
  // The options go to each conversion, the OpenMS layout's unique names
  // file by file.
  for (const std::vector<std::string>& options :
       {std::vector<std::string>{},
        std::vector<std::string>{"--for", "openms", "--default", "MSLEVEL=2"}}) {
    std::vector<std::string> withOptions = options;
    withOptions.insert(withOptions.end(), args.begin(), args.end());
    RunResult batch = runMspforge(withOptions);
    EXPECT_EQ(batch.exitCode, 0);
    std::string expectedLines;
    for (const std::string& file : files) {
      std::vector<std::string> one = options;
      one.insert(one.end(), {kCorpus + file, dir.path("single.msp")});
      RunResult single = runMspforge(one);
      expectedLines += kCorpus + file + ": " + single.stdoutText;
      const std::string name = file.substr(0, file.size() - 4) + ".msp";
      EXPECT_TRUE(readFile(dir.path("out/" + name)) ==
                  readFile(dir.path("single.msp")))
          << file;
    }
    EXPECT_EQ(batch.stdoutText, expectedLines);
  }
  RunResult batch;

  // A missing input fails alone, and sets the exit code.
  writeFile(dir.path("b.mgf.gz"), "");
  batch = runMspforge({"--output-dir", dir.path("out"), dir.path("nothing.mgf"),
                       dir.path("b.mgf.gz")});
  EXPECT_EQ(batch.exitCode, 2);
  EXPECT_EQ(batch.stdoutText, dir.path("nothing.mgf") + ": Cannot open file\n" +
                                  dir.path("b.mgf.gz") + ": Total spectra = 0\n");
  EXPECT_TRUE(fileExists(dir.path("out/b.msp")));

  // Two inputs for one output: a usage error, nothing written.
  makeDirectory(dir.path("x"));
  writeFile(dir.path("x/b.mgf"), kOneRecord);
  batch = runMspforge({"--output-dir", dir.path("clash"), dir.path("b.mgf.gz"),
                       dir.path("x/b.mgf")});
  EXPECT_EQ(batch.exitCode, 1);
  EXPECT_FALSE(fileExists(dir.path("clash")));
  EXPECT_EQ(outputNameFor("data/A.MGF.GZ"), "A.msp");
  EXPECT_EQ(outputNameFor("c.txt"), "c.txt.msp");
}

}  // namespace
}  // namespace mspforge::test
