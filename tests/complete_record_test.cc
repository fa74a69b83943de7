// Record completion seen from outside: MGF text in, MSP text out.
#include "translate/complete_record.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "completion_cases.h"
#include "test_files.h"

namespace mspforge {
namespace {

using test::convertOne;
using test::Lines;
using test::nameAndAdduct;
using test::plus;

TEST(CompleteRecordTest, WorkedExamples) {
  struct Case {
    Lines source;
    std::string expected;  // "Name: <name>[ | <Precursor_type>]" or rejected
  };
  const Lines caffeineMH = {"NAME=Caffeine M+H", "MSLEVEL=2",
                            "PEPMASS=195.0877"};
  auto with = [](Lines lines, const std::string& more) {
    lines.push_back(more);
    return lines;
  };
  const Lines caffeine = {"NAME=Caffeine", "MSLEVEL=2", "PEPMASS=195.0877"};
  const std::vector<Case> cases = {
      {with(caffeine, "ADDUCT=[M+H]1+"), "Name: Caffeine | [M+H]+"},
      {{"TITLE=Glucose standard", "IONMODE=negative", "MS_LEVEL=2",
        "PRECURSOR_MZ=179.0561", "CHARGE=-1"},
       "Name: Glucose standard | [M-H]-"},
      {with(caffeineMH, "CHARGE=1"), "Name: Caffeine M+H | [M+H]+"},
      {with(caffeineMH, "CHARGE=0"), "Name: Caffeine M+H | [M+H]+"},
      {with(caffeineMH, "CHARGE=2"), "Name: Caffeine M+H | [M+2H]2+"},
      {caffeineMH, "Name: Caffeine M+H"},
      {{"NAME=Caffeine [M+H]", "MSLEVEL=2", "PEPMASS=195.0877"},
       "Name: Caffeine [M+H] | [M+H]+"},
      {with(caffeine, "CHARGE=3"), "Name: Caffeine | [M+3H]3+"},
      // Mended: a sign after the digits is the charge's sign.
      {with(caffeine, "CHARGE=2-"), "Name: Caffeine | [M-2H]2-"},
      {with(caffeine, "CHARGE=0"), "Name: Caffeine"},
      {with(caffeine, "ADDUCT=[M+FA]1-"), "Name: Caffeine | [M+CHO2]-"},
      {{"NAME=Caffeine", "MSLEVEL=2"}, "rejected"},
      {{"NAME=Caffeine", "PEPMASS=195.0877"}, "rejected"},
      {{"MSLEVEL=2", "PEPMASS=195.0877", "CHARGE=1"}, "rejected"},
      {{"COMPOUND_NAME=Caffeine", "NAME=", "MSLEVEL=2", "PEPMASS=1"},
       "rejected"},
      {{"COMPOUND_NAME=Caffeine", "NAME=", "MSLEVEL=2", "PEPMASS=1",
        "TITLE=Scan 17"},
       "Name: Scan 17"},
      {{"NAME=Caffeine", "MSLEVEL=0", "PEPMASS=1"}, "Name: Caffeine"},
      // Mended: an empty precursor m/z is none.
      {{"NAME=Caffeine", "MSLEVEL=0", "PEPMASS="}, "rejected"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(nameAndAdduct(c.source), c.expected) << c.source[0];
  }
}

TEST(CompleteRecordTest, EdgeCases) {
  struct Case {
    const char* what;
    Lines source;
    std::string expected;
  };
  const std::vector<Case> cases = {
      {"title never replaces a name", plus({"NAME=A", "TITLE=B"}), "Name: A"},
      {"empty title", plus({"TITLE="}), "rejected"},
      {"adduct from a title's bracket", plus({"TITLE=Caffeine [M+H]"}),
       "Name: Caffeine [M+H] | [M+H]+"},
      {"empty ADDUCT blocks derivation",
       plus({"NAME=Caffeine M+H", "ADDUCT=", "CHARGE=1"}), "Name: Caffeine M+H | "},
      {"ADDUCT is never replaced",
       plus({"NAME=X [M+Na]", "ADDUCT=[M+K]+", "CHARGE=3"}),
       "Name: X [M+Na] | [M+K]+"},
      {"charge 1+ reads as 1", plus({"NAME=Caffeine", "CHARGE=1+"}),
       "Name: Caffeine | [M+H]+"},
      {"charge 1- reads as -1", plus({"NAME=Caffeine", "CHARGE=1-"}),
       "Name: Caffeine | [M-H]-"},
      {"charge 2+ and 3+ reads as 2",
       plus({"NAME=Caffeine", "CHARGE=2+ and 3+"}), "Name: Caffeine | [M+2H]2+"},
      {"charge 0- adds nothing", plus({"NAME=Caffeine", "CHARGE=0-"}),
       "Name: Caffeine"},
      {"name tail agrees with charge 1-", plus({"NAME=X M-H", "CHARGE=1-"}),
       "Name: X M-H | [M-H]-"},
      {"lowest charge written after its digits",
       plus({"NAME=Caffeine", "CHARGE=2147483648-"}),
       "Name: Caffeine | [M-2147483648H]2147483648-"},
      {"empty charge", plus({"NAME=Caffeine", "CHARGE="}), "Name: Caffeine"},
      {"charge without a number", plus({"NAME=Caffeine", "CHARGE=+"}),
       "Name: Caffeine"},
      {"charge -3", plus({"NAME=Caffeine", "CHARGE=-3"}),
       "Name: Caffeine | [M-3H]3-"},
      {"charge 10", plus({"NAME=Caffeine", "CHARGE=10"}),
       "Name: Caffeine | [M+10H]10+"},
      {"largest charge", plus({"NAME=Caffeine", "CHARGE=99999999999"}),
       "Name: Caffeine | [M+2147483647H]2147483647+"},
      {"lowest charge", plus({"NAME=Caffeine", "CHARGE=-2147483648"}),
       "Name: Caffeine | [M-2147483648H]2147483648-"},
      {"name tail refused, charge rule applies",
       plus({"NAME=Caffeine M-H", "CHARGE=1"}), "Name: Caffeine M-H | [M+H]+"},
      {"name tail agrees with a negative charge",
       plus({"NAME=Caffeine M-H", "CHARGE=-1"}), "Name: Caffeine M-H | [M-H]-"},
      {"bracket wins without any charge", plus({"NAME=Caffeine [M+2H]"}),
       "Name: Caffeine [M+2H] | [M+2H]2+"},
      {"bracket with its charge", plus({"NAME=Caffeine [M+2H]2+"}),
       "Name: Caffeine [M+2H]2+ | [M+2H]2+"},
      {"bracket with 1+", plus({"NAME=Caffeine [M+H]1+", "CHARGE=1"}),
       "Name: Caffeine [M+H]1+ | [M+H]+"},
      {"bracket multimer", plus({"NAME=caffeine [2M+Na]+", "CHARGE=1"}),
       "Name: caffeine [2M+Na]+ | [2M+Na]+"},
      {"name tail multimer", plus({"NAME=caffeine 2M+Na", "CHARGE=1"}),
       "Name: caffeine 2M+Na | [2M+Na]+"},
      {"a name not in adduct form states none",
       plus({"NAME=MDMA", "CHARGE=1"}), "Name: MDMA | [M+H]+"},
      {"bracket with other text falls to the name tail",
       plus({"NAME=Caffeine [M+H]x", "CHARGE=1"}),
       "Name: Caffeine [M+H]x | [M+H]+"},
      {"zero-charge bracket falls to the tail, which has a space",
       plus({"NAME=Caffeine [M+Cl+Na] M+H", "CHARGE=1"}),
       "Name: Caffeine [M+Cl+Na] M+H | [M+H]+"},
      {"formic acid beside -H in a bracket", plus({"NAME=X [M+FA-H]"}),
       "Name: X [M+FA-H] | [M+FA-H]-"},
      {"lithium from a name tail", plus({"NAME=X M+Li", "CHARGE=1"}),
       "Name: X M+Li | [M+Li]+"},
      {"chloride disagrees with a positive charge",
       plus({"NAME=X M+Cl", "CHARGE=1"}), "Name: X M+Cl | [M+H]+"},
      // The precursor type an MGF states, under any of its three keys.
      {"PRECURSORTYPE beats the charge",
       plus({"NAME=X", "PRECURSORTYPE=[M+Na]+", "CHARGE=1"}),
       "Name: X | [M+Na]+"},
      {"PRECURSOR_TYPE beats a name tail",
       plus({"NAME=X M+H", "PRECURSOR_TYPE=[M+K]1+", "CHARGE=1"}),
       "Name: X M+H | [M+K]+"},
      {"PRECURSORTYPE formic acid", plus({"NAME=X", "PRECURSORTYPE=[M+FA]-"}),
       "Name: X | [M+CHO2]-"},
      {"empty PRECURSOR_TYPE blocks derivation",
       plus({"NAME=X M+H", "PRECURSOR_TYPE=", "CHARGE=1"}), "Name: X M+H | "},
      {"lower-case precursortype is a comment",
       plus({"NAME=X", "precursortype=[M+Na]+", "CHARGE=1"}),
       "Name: X | [M+H]+"},
      {"formate from a name tail", plus({"NAME=X M+FA", "CHARGE=-1"}),
       "Name: X M+FA | [M+CHO2]-"},
      {"blanks around a stated formic acid", plus({"NAME=A",
                                                   "ADDUCT=[M+FA]- "}),
       "Name: A | [M+CHO2]-"},
      {"[M+FA] is formate", plus({"NAME=A", "ADDUCT=[M+FA]"}),
       "Name: A | [M+CHO2]-"},
      {"only the exact formic text is rewritten",
       plus({"NAME=A", "ADDUCT=[M+fa]-"}), "Name: A | [M+fa]-"},
      // Stated adducts in notation, whoever wrote them.
      {"bare ADDUCT", plus({"NAME=A", "ADDUCT=M-H"}), "Name: A | [M-H]-"},
      {"bare formic acid", plus({"NAME=A", "ADDUCT=M+FA-H"}),
       "Name: A | [M+FA-H]-"},
      {"charge after the count", plus({"NAME=A", "ADDUCT=[M+2H]+2"}),
       "Name: A | [M+2H]2+"},
      {"unknown text stays, blanks and all",
       plus({"NAME=A", "ADDUCT= Unknown "}), "Name: A |  Unknown "},
      // ION, as feature exports state the ion: PRECURSOR_TYPE over
      // PRECURSORTYPE over ION over ADDUCT.
      {"ION beats the charge", plus({"NAME=A", "ION=[M+FA-H]-", "CHARGE=1+"}),
       "Name: A | [M+FA-H]-"},
      {"ION beats ADDUCT", plus({"NAME=A", "ADDUCT=[M+H]+", "ION=[M+Na]+"}),
       "Name: A | [M+Na]+"},
      {"PRECURSORTYPE beats ION",
       plus({"NAME=A", "ION=[M+Na]+", "PRECURSORTYPE=[M+K]+"}),
       "Name: A | [M+K]+"},
      // Empty is missing: a blank name, a precursor m/z that is no number.
      {"blank name takes the title", plus({"NAME=  ", "TITLE=Scan 5"}),
       "Name: Scan 5"},
      {"blank name and title", plus({"NAME= ", "TITLE=\t"}), "rejected"},
      {"blank name derives no adduct", plus({"NAME= ", "CHARGE=1"}),
       "rejected"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(nameAndAdduct(c.source), c.expected) << c.what;
  }
}

TEST(CompleteRecordTest, PrecursorMzMustBeANumber) {
  struct Case {
    const char* pepmass;
    bool accepted;
  };
  const Case cases[] = {
      {"195.0877", true}, {"  195.0877 1200", true}, {".5", true},
      {"-1", true},       {"+.5", true},             {"1e3", true},
      {"", false},        {" ", false},              {"abc", false},
      {"-", false},       {".", false},              {"+.x", false},
      {"n/a", false},     {"e5", false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(convertOne({"NAME=A", "MSLEVEL=2",
                          std::string("PEPMASS=") + c.pepmass}) != "rejected",
              c.accepted)
        << c.pepmass;
  }
}

TEST(CompleteRecordTest, RoadOfOneRecord) {
  const std::string mgf =
      "BEGIN IONS\nTITLE=Caffeine M+H\nPEPMASS=195.0877\nCHARGE=1\n"
      "MSLEVEL=2\nIONMODE=Positive\nSCANS=17\nFORMULA=C8H10N4O2+\nUSI=x\n"
      "138.0662 100\n110.0713 45.5\n0.5 3\nEND IONS\n";
  test::MemoryConversion c = test::convertText(mgf);
  EXPECT_EQ(formatTally(c.tally), "Total spectra = 1\n");
  EXPECT_EQ(c.msp,
            "Name: Caffeine M+H\n"
            "Formula: C8H10N4O2\n"
            "Ion_mode: P\n"
            "PrecursorMZ: 195.0877\n"
            "Precursor_type: [M+H]+\n"
            "Spectrum_type: MS2\n"
            "Comments: CHARGE=1 SCANS=17 TITLE=Caffeine M+H\n"
            "Num Peaks: 2\n"
            "138.0662 100\n"
            "110.0713 45.5\n"
            "\n");
}

TEST(CompleteRecordTest, RejectedRecordKeepsWhatCompletionAdded) {
  FieldMap source;
  source.set("TITLE", "Caffeine M+H");
  source.set("CHARGE", "1");
  CompoundName name;
  FieldMap library;
  FieldMap comments;
  EXPECT_FALSE(translateRecord(source, name, library, comments));
  EXPECT_EQ(name, "Caffeine M+H");
  ASSERT_NE(library.find("Precursor_type"), nullptr);
  EXPECT_EQ(*library.find("Precursor_type"), "[M+H]+");
}

}  // namespace
}  // namespace mspforge
