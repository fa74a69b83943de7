// The converter on real MGF files from public projects (tests/data/corpus,
// with their origins in SOURCES.md).
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "conversion_invariants.h"
#include "test_files.h"

namespace mspforge::test {
namespace {

const std::string kCorpus = std::string(MSPFORGE_TEST_DATA) + "/corpus";

TEST(CorpusTest, EveryFileConvertsConsistently) {
  int files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(kCorpus)) {
    if (entry.path().extension() != ".mgf") continue;
    ++files;
    const std::string name = entry.path().filename().string();
    const std::string mgf = readFile(entry.path().string());
    MemoryConversion c = convertText(mgf);
    EXPECT_EQ(c.result, ConversionResult::Complete) << name;
    EXPECT_EQ(c.tally.totalSpectra, countLinesStartingWith(mgf, "BEGIN IONS"))
        << name;
    EXPECT_GE(c.tally.writtenSpectra(), 0) << name;
    EXPECT_EQ(countMspRecords(c.msp), c.tally.writtenSpectra()) << name;
    EXPECT_EQ(checkConversionInvariants(mgf), "") << name;
    EXPECT_EQ(c.msp.find('\r'), std::string::npos) << name;
  }
  EXPECT_EQ(files, 12);
}

// The tallies worked out by hand for each file (SOURCES.md): records
// delivered / set aside for want of peaks / unrecognized / written.
TEST(CorpusTest, ExpectedTallies) {
  struct Case {
    const char* file;
    std::int64_t total, ignored, unrecognized, written;
  };
  const Case cases[] = {
      {"gnps-library-pesticides.mgf", 76, 0, 0, 76},
      {"gnps-library-embl-mcf.mgf", 30, 0, 0, 30},
      {"gnps-matchms-cleaned.mgf", 3, 0, 0, 3},
      {"mzmine-library-export.mgf", 3, 0, 0, 3},
      {"fbmn-feature-export-openms.mgf", 199, 0, 199, 0},
      {"proteomics-tmt-msconvert-style.mgf", 7, 0, 7, 0},
      {"mascot-global-params-charge-column.mgf", 2, 0, 2, 0},
      {"pepmass-intensity-and-charge.mgf", 3, 0, 3, 0},
      {"crlf-with-comment-lines.mgf", 3, 0, 3, 0},
      {"empty-peak-list.mgf", 1, 1, 0, 0},
      {"annotated-peaks-insilico-fiora.mgf", 1, 0, 1, 0},
      {"matchms-export-dicrotophos.mgf", 1, 0, 1, 0},
  };
  for (const Case& c : cases) {
    MemoryConversion conversion =
        convertText(readFile(kCorpus + "/" + c.file));
    const ConversionTally& t = conversion.tally;
    EXPECT_EQ(t.totalSpectra, c.total) << c.file;
    EXPECT_EQ(t.ignoredSpectra, c.ignored) << c.file;
    EXPECT_EQ(t.unrecognizedSpectra, c.unrecognized) << c.file;
    EXPECT_EQ(countMspRecords(conversion.msp), c.written) << c.file;
  }
}

// GNPS writes CHARGE=1 even for negative-mode spectra; the name's own
// adduct ("M-H", charge -1) disagrees with it, so the charge decides.
TEST(CorpusTest, GnpsNegativeModeWithChargeOne) {
  const std::string msp =
      convertText(readFile(kCorpus + "/gnps-library-pesticides.mgf")).msp;
  EXPECT_EQ(countLinesStartingWith(msp, "Ion_mode: N"), 76);
  EXPECT_EQ(countLinesStartingWith(msp, "Precursor_type: [M+H]+"), 76);
}

TEST(CorpusTest, MzmineFormicAcidAdductBecomesFormate) {
  const std::string msp =
      convertText(readFile(kCorpus + "/mzmine-library-export.mgf")).msp;
  EXPECT_EQ(countLinesStartingWith(msp, "Precursor_type: [M+CHO2]-"), 1);
  EXPECT_EQ(countLinesStartingWith(msp, "Ion_mode: P"), 3);
  EXPECT_EQ(msp.find("USI="), std::string::npos);
  EXPECT_EQ(msp.find("EXACTMASS="), std::string::npos);
}

}  // namespace
}  // namespace mspforge::test
