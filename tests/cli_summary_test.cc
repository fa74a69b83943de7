// What the command says of the spectra it reads, end to end: the summary
// on standard error of what was left out and why, the unfinished spectra,
// --default and --report.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

#include "test_files.h"

namespace mspforge::test {
namespace {

const std::string kCorpus = std::string(MSPFORGE_TEST_DATA) + "/corpus/";

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
            "BEGIN IONS\nNAME=X\n100 1\nEND IONS\n\n\n"
            "BEGIN IONS\nNAME=Y\nADDUCT=[M+Na]1+\nMSLEVEL=2\nPEPMASS=1\n"
            "100 1\nEND IONS\n\n"
            "BEGIN IONS 5\nNAME=Z [M-H]\nMSLEVEL=2\nPEPMASS=1\n100 1\n"
            "END IONS\n");
  RunResult run = runMspforge({"--report", dir.path("report.tsv"),
                               dir.path("in.mgf"), dir.path("out.msp")});
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(readMspFile(dir.path("report.tsv")),
            "spectrum\tline\tname\toutcome\tmissing\tprecursor_type\t"
            "precursor_type_from\n"
            "1\t2\tCaffeine M+H\twritten\t\t[M+H]+\tname tail\n"
            "2\t10\tno\\tpeaks\tno peaks\t\t\t\n"
            "3\t13\tX\trejected\tMS level, precursor m/z\t\t\n"
            "4\t19\tY\twritten\t\t[M+Na]+\tADDUCT field\n"
            "5\t27\tZ [M-H]\twritten\t\t[M-H]-\tname bracket\n");
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

}  // namespace
}  // namespace mspforge::test
