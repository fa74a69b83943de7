// The converter on real MGF files from public projects (tests/data/corpus,
// with their origins in SOURCES.md).
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "conversion_invariants.h"
#include "test_files.h"
#include "translate/adduct_notation.h"

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
    EXPECT_EQ(checkReaderAgainstReference(mgf), "") << name;
    EXPECT_EQ(checkStreamingAgainstWhole(mgf), "") << name;
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

// GNPS writes CHARGE=1 even for negative-mode spectra. In a negative-mode
// record that charge counts as -1, so a name's own "M-H" agrees with it.
TEST(CorpusTest, GnpsNegativeModeWithChargeOne) {
  const std::string msp =
      convertText(readFile(kCorpus + "/gnps-library-pesticides.mgf")).msp;
  EXPECT_EQ(countLinesStartingWith(msp, "Ion_mode: N"), 76);
  EXPECT_EQ(countLinesStartingWith(msp, "Precursor_type: "), 76);
  EXPECT_EQ(countLinesStartingWith(msp, "Precursor_type: [M-H]-"), 74);
  EXPECT_EQ(countLinesStartingWith(msp, "Precursor_type: [M-H2O-H]-"), 1);
  EXPECT_EQ(countLinesStartingWith(msp, "Precursor_type: [M+K-2H]-"), 1);
}

TEST(CorpusTest, MzmineFormicAcidAdductBecomesFormate) {
  const std::string msp =
      convertText(readFile(kCorpus + "/mzmine-library-export.mgf")).msp;
  EXPECT_EQ(countLinesStartingWith(msp, "Precursor_type: [M+CHO2]-"), 1);
  EXPECT_EQ(countLinesStartingWith(msp, "Ion_mode: N"), 3);
  EXPECT_EQ(msp.find("USI="), std::string::npos);
  EXPECT_EQ(msp.find("EXACTMASS="), std::string::npos);
}

// A library must not contradict itself: the ion mode and the adduct's
// charge sign agree, unless the record's own ADDUCT, a bracket adduct in
// its name or the sign of its CHARGE says otherwise.
TEST(CorpusTest, IonModeAndAdductAgreeOnPolarity) {
  int checked = 0;
  int overruled = 0;
  for (const auto& entry : std::filesystem::directory_iterator(kCorpus)) {
    if (entry.path().extension() != ".mgf") continue;
    const std::string name = entry.path().filename().string();
    MgfInput input = mgfInputFromBytes(readFile(entry.path().string()));
    FieldMap source, library, comments;
    PeakLines peaks;
    CompoundName compound;
    while (readMgfRecord(input, source, peaks)) {
      if (peaks.empty() ||
          !translateRecord(source, compound, library, comments)) {
        continue;
      }
      const std::string_view* ionMode = library.find("Ion_mode");
      const std::string_view* adduct = library.find("Precursor_type");
      if (ionMode == nullptr || adduct == nullptr || adduct->empty()) continue;
      ++checked;
      const char adductMode = adduct->back() == '-' ? 'N' : 'P';
      if (adductMode == (*ionMode)[0]) continue;
      std::string bracket;
      const std::string_view* charge = comments.find("CHARGE");
      const bool chargeSays =
          charge != nullptr && readCharge(*charge) != 0 &&
          (readCharge(*charge) < 0 ? 'N' : 'P') == adductMode;
      EXPECT_TRUE(source.contains("ADDUCT") ||
                  adductFromBracket(compound, bracket) || chargeSays)
          << name << ": " << compound << " is " << *ionMode << " but "
          << *adduct;
      ++overruled;
    }
  }
  EXPECT_EQ(checked, 112);
  // Two gnps-library-embl-mcf.mgf records named "M+H" in positive mode
  // whose CHARGE is -1 and 1-.
  EXPECT_EQ(overruled, 2);
}

}  // namespace
}  // namespace mspforge::test
