// The layouts of --for: what each writes of a record, the exact plain form
// of the numbers, and the rules each library holds on real files, checked
// by a small reader of their own.
#include "msp/library_layouts.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "msp/plain_numbers.h"
#include "synthetic_mgf.h"
#include "test_files.h"

namespace mspforge {
namespace {

TEST(PlainNumbersTest, PeakLinesInPlainDecimalDigits) {
  struct Case {
    std::string line;
    std::string written;  // "" for a line left out
  };
  const Case cases[] = {
      // Plain numbers stand as they are, columns after the intensity go.
      {"100.5 200\n", "100.5 200\n"},
      {"  0100.50\t007\n", "0100.50 007\n"},
      {"345.10 237 3\n", "345.10 237\n"},
      {"345.10 237 \"y2\"\n", "345.10 237\n"},
      {"100 1", "100 1\n"},
      // Exponents move the decimal point, never rounding.
      {"79.9663 1.91742e+04\n", "79.9663 19174.2\n"},
      {"96.9691 5e-3\n", "96.9691 0.005\n"},
      {"1.0E2 1.50e1\n", "100 15.0\n"},
      {"2.5e+0 0.5e1\n", "2.5 5\n"},
      {"123.456e-5 9.87654321E+10\n", "0.00123456 98765432100\n"},
      {"1e3 12345678901234567890e-25\n", "1000 0.0000012345678901234567890\n"},
      {"100 0e7\n", "100 0\n"},
      // Other plain-decimal spellings, written the way every reader reads.
      {"100. .5\n", "100 0.5\n"},
      {"+100 +2\n", "100 2\n"},
      {"100 -0\n", ""},
      // No m/z and intensity to write in plain digits.
      {"100 -3\n", ""},
      {"100\n", ""},
      {"100 x\n", ""},
      {"100 5x\n", ""},
      {"100 5e\n", ""},
      {"inf 5\n", ""},
      {"0x1F 100\n", ""},
      {"100,5 3\n", ""},
      {"1e2000 5\n", ""},
  };
  for (const Case& c : cases) {
    std::string out = "kept ";
    EXPECT_EQ(appendPlainPeakLine(out, c.line), !c.written.empty()) << c.line;
    EXPECT_EQ(out, "kept " + c.written) << c.line;
  }
}

// Retention times in the reader's unit, by exact decimal arithmetic.
TEST(PlainNumbersTest, TimesSixty) {
  struct Case {
    std::string number;
    bool multiply;
    std::string written;
  };
  const Case cases[] = {
      {"2.025", true, "121.5"},         {"1.5e1", true, "900"},
      {"0.0001", true, "0.006"},        {"-2", true, "-120"},
      {"290.5", false, "4.8416667"},    {"300", false, "5"},
      {"290.841696000000013", false, "4.847361600000000216667"},
      {"0.00003", false, "0.0000005"},  {"0.00002", false, "0.00000033333"},
      {"59.99999999", false, "0.99999999983333"},
      {"1e-7", false, "0.0000000016667"},
      {"-0.0000001", false, "-0.0000000016667"},
      {"0.0000000000", false, "0"},
  };
  for (const Case& c : cases) {
    DecimalNumber number;
    ASSERT_TRUE(readDecimalNumber(c.number, number)) << c.number;
    std::string out;
    EXPECT_TRUE(appendTimesSixty(out, number, c.multiply)) << c.number;
    EXPECT_EQ(out, c.written) << c.number;
  }
}

// One record with every fact a layout places, twice (OpenMS needs unique
// names), and its library in each layout.
const std::string kRecord =
    "BEGIN IONS\n"
    "NAME=5'-AMP \"x\" M-H\n"
    "PEPMASS=346.0558 1.2e3\n"
    "CHARGE=1-\n"
    "MSLEVEL=2\n"
    "IONMODE=negative\n"
    "FORMULA=C10H14N5O7P\n"
    "SMILES=NC1=NC=NC2=C1N=CN2C1OC(COP(O)(O)=O)C(O)C1O\n"
    "INCHI=InChI=1S/C10H14N5O7P/c11-8-5\n"
    "INCHIKEY=UDMBCSSLTHHNCD-UHFFFAOYSA-N\n"
    "INCHIAUX=UDMBCSSLTHHNCD-KQYNXXCUSA-N\n"
    "RTINSECONDS=290.5\n"
    "CCS=181.2\n"
    "SOURCE_INSTRUMENT=Orbitrap\n"
    "MS_MANUFACTURER=Thermo\n"
    "MS_IONISATION=ESI\n"
    "COLLISION_ENERGY=35\n"
    "TITLE=5'-AMP standard\n"
    "SCANS=12\n"
    "79.9663 1.91742e+04\n"
    "96.9691 5e-3\n"
    "134.0472 100 3\n"
    "211.0 .5\n"
    "inf 5\n"
    "346.0558 -3\n"
    "END IONS\n";

std::string capitalRecord(const std::string& name,
                          const std::string& retentionTime) {
  return "NAME: " + name +
         "\n"
         "PRECURSORMZ: 346.0558\n"
         "PRECURSORTYPE: [M-H]-\n"
         "IONMODE: Negative\n"
         "FORMULA: C10H14N5O7P\n"
         "SMILES: NC1=NC=NC2=C1N=CN2C1OC(COP(O)(O)=O)C(O)C1O\n"
         "INCHIKEY: UDMBCSSLTHHNCD-UHFFFAOYSA-N\n"
         "INCHI: InChI=1S/C10H14N5O7P/c11-8-5\n"
         "RETENTIONTIME: " +
         retentionTime +
         "\n"
         "COLLISIONENERGY: 35\n"
         "CCS: 181.2\n"
         "INSTRUMENT: Orbitrap\n"
         "COMMENTS: \"CHARGE=1-\" \"INCHIAUX=UDMBCSSLTHHNCD-KQYNXXCUSA-N\" "
         "\"MSLEVEL=2\" \"MS_IONISATION=ESI\" \"MS_MANUFACTURER=Thermo\" "
         "\"SCANS=12\" \"TITLE=5\u2032-AMP standard\"\n"
         "Num Peaks: 4\n"
         "79.9663 19174.2\n"
         "96.9691 0.005\n"
         "134.0472 100\n"
         "211.0 0.5\n"
         "\n";
}

TEST(LibraryLayoutsTest, EachLayoutOfOneRecord) {
  const std::string name = "5'-AMP \"x\" M-H";
  struct Case {
    LibraryLayout layout;
    std::string msp;
  };
  const Case cases[] = {
      {LibraryLayout::MsDial, capitalRecord(name, "4.8416667") +
                                  capitalRecord(name, "4.8416667")},
      {LibraryLayout::Matchms,
       capitalRecord(name, "290.5") + capitalRecord(name, "290.5")},
      {LibraryLayout::OpenMs,
       capitalRecord(name, "290.5") + capitalRecord(name + " #2", "290.5")},
  };
  for (const Case& c : cases) {
    ConversionOptions options;
    options.layout = c.layout;
    const test::MemoryConversion conversion =
        test::convertText(kRecord + kRecord, options);
    EXPECT_EQ(conversion.msp, c.msp) << libraryLayoutName(c.layout);
    EXPECT_EQ(conversion.tally.peakLinesLeftOut, 4);
    EXPECT_EQ(conversion.tally.peakLinesInExponentForm, 0);
    EXPECT_EQ(formatSummary(conversion.tally),
              "mspforge: 4 peak lines were left out: no m/z and intensity "
              "this layout can write in plain decimal digits (inf, a "
              "hexadecimal number, a negative or missing intensity)\n");
  }
  // The NIST layout copies the peak lines and counts what others misread.
  const test::MemoryConversion nist = test::convertText(kRecord + kRecord);
  EXPECT_EQ(nist.msp.find("\n79.9663 1.91742e+04\n96.9691 5e-3\n134.0472 100 3"
                          "\n211.0 .5\ninf 5\n346.0558 -3\n\n"),
            nist.msp.find("Num Peaks: 6") + 12);
  EXPECT_EQ(nist.tally.peakLinesInExponentForm, 4);
  EXPECT_EQ(nist.tally.peakLinesWithMoreColumns, 2);
  EXPECT_EQ(nist.tally.peakLinesLeftOut, 0);
  EXPECT_EQ(formatSummary(nist.tally),
            "mspforge: peak lines are written as read: 4 hold numbers in "
            "exponent form (MS-DIAL and OpenMS read 1.9e+04 as 1.9) and 2 a "
            "third column (matchms stops loading there); --for msdial, --for "
            "matchms and --for openms write plain numbers\n");
  // A record none of whose peak lines a layout can write is not written.
  ConversionOptions matchms;
  matchms.layout = LibraryLayout::Matchms;
  const test::MemoryConversion none = test::convertText(
      "BEGIN IONS\nNAME=A\nMSLEVEL=2\nPEPMASS=1\ninf 5\nEND IONS\n", matchms);
  EXPECT_EQ(none.msp, "");
  EXPECT_EQ(formatTally(none.tally),
            "Total spectra = 1 Ignored spectra(no peaks) = 1\n");
}

// A reader of the capital layouts' rules, written apart from the writer:
// NAME first, known keys in order and each once in any letter case,
// COMMENTS of quoted pairs, Num Peaks equal to the peak lines, and peak
// lines of two plain decimal numbers. "" when a library holds them, else
// what breaks them.
std::string checkCapitalLibrary(const std::string& msp, LibraryLayout layout) {
  const std::vector<std::string> keys = {
      "NAME",    "PRECURSORMZ",   "PRECURSORTYPE",   "IONMODE",
      "FORMULA", "SMILES",        "INCHIKEY",        "INCHI",
      "RETENTIONTIME", "COLLISIONENERGY", "CCS",   "INSTRUMENTTYPE",
      "INSTRUMENT", "COMMENTS", "Num Peaks"};
  std::istringstream lines(msp);
  std::string line;
  std::set<std::string> names;
  while (std::getline(lines, line)) {
    if (line.rfind("NAME: ", 0) != 0 || line.size() == 6) return "no NAME: " + line;
    if (layout == LibraryLayout::OpenMs && !names.insert(line).second) {
      return "a name twice: " + line;
    }
    std::size_t next = 1;
    long peaks = -1;
    while (peaks < 0 && std::getline(lines, line)) {
      const std::size_t colon = line.find(": ");
      const std::string key = line.substr(0, colon);
      std::size_t at = next;
      while (at < keys.size() && keys[at] != key) ++at;
      if (colon == std::string::npos || at == keys.size()) {
        return "a key out of place or twice: " + line;
      }
      next = at + 1;
      const std::string value = line.substr(colon + 2);
      if (value.empty() || value.front() == ' ') return "blank value: " + line;
      if (key == "IONMODE" && value != "Positive" && value != "Negative") {
        return "ion mode " + value;
      }
      if (key == "COMMENTS") {
        std::size_t quote = 0;
        for (std::size_t i = 0; i < value.size(); i = quote + 2) {
          if (value[i] != '"') return "an unquoted pair: " + value;
          quote = value.find('"', i + 1);
          if (quote == std::string::npos || value.find('=', i) > quote ||
              value.find('\'', i) < quote ||
              (quote + 1 < value.size() && value[quote + 1] != ' ')) {
            return "a broken pair: " + value;
          }
        }
      }
      if (key == "Num Peaks") peaks = std::stol(value);
    }
    if (peaks < 1) return "no Num Peaks";
    for (long i = 0; i < peaks; ++i) {
      if (!std::getline(lines, line)) return "fewer peak lines than counted";
      std::size_t at = 0;
      for (int number = 0; number < 2; ++number) {
        const std::size_t digits = line.find_first_not_of("0123456789", at);
        if (digits == at) return "not a plain number: " + line;
        at = digits;
        if (at < line.size() && line[at] == '.') {
          const std::size_t fraction = line.find_first_not_of("0123456789", at + 1);
          if (fraction == at + 1) return "not a plain number: " + line;
          at = fraction;
        }
        if (number == 0 && (at >= line.size() || line[at++] != ' ')) {
          return "not two numbers: " + line;
        }
      }
      if (at != std::string::npos && at != line.size()) return "more columns: " + line;
    }
    if (!std::getline(lines, line) || !line.empty()) return "no empty line";
  }
  return "";
}

TEST(LibraryLayoutsTest, CorpusLibrariesHoldEachLayoutsRules) {
  const std::string corpus = std::string(MSPFORGE_TEST_DATA) + "/corpus";
  std::vector<std::string> inputs = {test::makeSyntheticMgf(2000, 5)};
  for (const auto& entry : std::filesystem::directory_iterator(corpus)) {
    if (entry.path().extension() == ".mgf") {
      inputs.push_back(test::readFile(entry.path().string()));
    }
  }
  for (const LibraryLayout layout :
       {LibraryLayout::MsDial, LibraryLayout::Matchms, LibraryLayout::OpenMs}) {
    ConversionOptions options;
    options.layout = layout;
    options.defaults.emplace_back("MSLEVEL", "2");
    std::int64_t written = 0;
    for (const std::string& mgf : inputs) {
      const test::MemoryConversion c = test::convertText(mgf, options);
      EXPECT_EQ(checkCapitalLibrary(c.msp, layout), "")
          << libraryLayoutName(layout) << " " << mgf.substr(0, 60);
      EXPECT_EQ(test::countLinesStartingWith(c.msp, "NAME: "),
                c.tally.writtenSpectra());
      written += c.tally.writtenSpectra();
      // The same records as the NIST layout, but for lines left out.
      const test::MemoryConversion nist = test::convertText(mgf, [&] {
        ConversionOptions plain = options;
        plain.layout = LibraryLayout::Nist;
        return plain;
      }());
      EXPECT_EQ(c.tally.totalSpectra, nist.tally.totalSpectra);
      if (c.tally.peakLinesLeftOut == 0) {
        EXPECT_EQ(formatTally(c.tally), formatTally(nist.tally));
      }
    }
    EXPECT_GT(written, 2000);
  }
}

}  // namespace
}  // namespace mspforge
