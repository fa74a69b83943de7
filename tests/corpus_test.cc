// The converter on real MGF files from public projects (tests/data/corpus,
// with their origins in SOURCES.md).
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

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
    EXPECT_EQ(checkChunkedAgainstWhole(mgf), "") << name;
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
// record that charge counts as -1, so each name's own adduct, all of
// charge -1 (chloride and formate anions, formic acid beside -H), agrees
// with it and is kept.
TEST(CorpusTest, GnpsNegativeModeWithChargeOne) {
  const std::string msp =
      convertText(readFile(kCorpus + "/gnps-library-pesticides.mgf")).msp;
  EXPECT_EQ(countLinesStartingWith(msp, "Ion_mode: N"), 76);
  EXPECT_EQ(countLinesStartingWith(msp, "Precursor_type: "), 76);
  EXPECT_EQ(countLinesStartingWith(msp, "Precursor_type: [M-H]-"), 53);
  EXPECT_EQ(countLinesStartingWith(msp, "Precursor_type: [M+Cl]-"), 13);
  EXPECT_EQ(countLinesStartingWith(msp, "Precursor_type: [M+FA-H]-"), 8);
  EXPECT_EQ(countLinesStartingWith(msp, "Precursor_type: [M-H2O-H]-"), 1);
  EXPECT_EQ(countLinesStartingWith(msp, "Precursor_type: [M+K-2H]-"), 1);
}

// The adduct a compound name states, read independently of the converter:
// the first "[M...]" or "[2M...]" bracket, else a last word such as "M+Cl",
// "M-H2O-H" or "2M+Na"; "" when the name states none.
std::string adductStatedInName(std::string_view name) {
  auto isDigit = [](char c) { return c >= '0' && c <= '9'; };
  auto isAlnum = [&](char c) {
    return isDigit(c) || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
  };
  for (std::size_t open = name.find('['); open != std::string_view::npos;
       open = name.find('[', open + 1)) {
    std::size_t i = open + 1;
    while (i < name.size() && isDigit(name[i])) ++i;
    if (i == name.size() || name[i] != 'M') continue;
    const std::size_t close = name.find_first_of("] \t", i);
    if (close != std::string_view::npos && name[close] == ']') {
      return std::string(name.substr(open + 1, close - open - 1));
    }
  }
  const std::string_view word = name.substr(name.rfind(' ') + 1);
  std::size_t i = 0;
  while (i < word.size() && isDigit(word[i])) ++i;
  if (i == word.size() || word[i] != 'M' || i + 1 == word.size()) return "";
  for (++i; i < word.size();) {
    if (word[i] != '+' && word[i] != '-') return "";
    ++i;
    while (i < word.size() && isDigit(word[i])) ++i;
    const std::size_t species = i;
    while (i < word.size() && isAlnum(word[i])) ++i;
    if (i == species || isDigit(word[species])) return "";
  }
  return std::string(word);
}

// A library record whose name says "M+Cl" must not be written as "[M-H]-":
// a search tool takes the neutral mass from the adduct. The only records
// left whose written adduct is not their name's are the two whose own
// CHARGE contradicts their name.
TEST(CorpusTest, WrittenAdductIsTheOneTheNameStates) {
  int stated = 0;
  std::vector<std::string> disagreeing;
  for (const auto& entry : std::filesystem::directory_iterator(kCorpus)) {
    if (entry.path().extension() != ".mgf") continue;
    const std::string msp = convertText(readFile(entry.path().string())).msp;
    for (std::size_t at = 0; at < msp.size();) {
      const std::size_t end = msp.find("\n\n", at);
      const std::string record = msp.substr(at, end - at);
      at = end + 2;
      const std::string name = record.substr(6, record.find('\n') - 6);
      const std::string expected = adductStatedInName(name);
      if (expected.empty()) continue;
      ++stated;
      const std::size_t type = record.find("\nPrecursor_type: [");
      const std::size_t inner = type + 18;
      if (type == std::string::npos ||
          record.compare(inner, record.find(']', inner) - inner, expected) !=
              0) {
        disagreeing.push_back(entry.path().filename().string() + ": " + name);
      }
    }
  }
  EXPECT_EQ(stated, 106);
  EXPECT_EQ(disagreeing,
            (std::vector<std::string>{
                "gnps-library-embl-mcf.mgf: "
                "1-Palmitoyl-sn-glycero-3-phosphocholine M+H",
                "gnps-library-embl-mcf.mgf: "
                "\"1,2-Dierucoyl-sn-glycero-3-phosphocholine\" M+H"}));
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
                  source.contains("PRECURSORTYPE") ||
                  source.contains("PRECURSOR_TYPE") ||
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
