#include "translate/adduct_notation.h"

#include <gtest/gtest.h>

#include <string>

namespace mspforge {
namespace {

constexpr std::int32_t kUntouched = 777;
const std::string kUnchanged = "<unchanged>";

TEST(AdductChargeTest, NetChargeOfExpressions) {
  struct Case {
    std::string expression;
    std::int32_t charge;
  };
  const Case cases[] = {
      {"M", 1},        {"2M", 1},       {"", 1},         {"M+H", 1},
      {"M+2H", 2},     {"M+3H", 3},     {"M-H", -1},     {"M-2H", -2},
      {"M+Na", 1},     {"M+K", 1},      {"M+NH4", 1},    {"M+CHO2", -1},
      {"M+H-H2O", 1},  {"M-H2O+H", 1},  {"M+2Na-H", 1},  {"M+H+Na", 2},
      {"2M+H", 1},     {"M+0H", 1},     {"M+-2H", -2},   {"M--2H", 2},
      {"M+na", 0},     {"M+", 0},       {"Na+M", 0},     {"M+Al+Fe", 2},
      {"M+ 2H", 2},    {"M+2 H", 0},    {"M+-H", -1},    {"M++H", 1},
      // Each species of the table, whole and case-sensitive.
      {"M+Li", 1},     {"M+2Li-H", 1},  {"M+Cl", -1},    {"M+2Cl", -2},
      {"M+Br", -1},    {"M+HCOO", -1},  {"M+CH3COO", -1}, {"M-Cl", 1},
      {"M+cl", 0},     {"M+CL", 0},     {"M+li", 0},     {"M+Cl+Na", 0},
      {"M+Cl-H", -2},  {"M+Br+2H", 1},  {"M+CH3COOH", 0}, {"M+I", 0},
      // Formic acid is neutral beside charged terms; alone it is formate.
      {"M+FA", -1},    {"M+FA-H", -1},  {"M+FA+H", 1},   {"M+2FA", -2},
      {"M+FA-H2O", -1}, {"M-H+FA", -1}, {"M+FA+Na", 1},  {"M+FA+Cl", -1},
      {"M+FA+Na-H", -1}, {"M-FA", 1},   {"M+fa", 0},     {"M+2FA-H", -1},
      // Counts saturate at the 32-bit limits and the sum saturates too.
      {"M+2147483647H", 2147483647},
      {"M+99999999999H", 2147483647},
      {"M+2147483647H+2147483647H", 2147483647},
      {"M-2147483647H-2147483647H", -2147483647 - 1},
      {"M-99999999999H", -2147483647},
      {"M+99999999999H-99999999999H", 0},
      {"M--99999999999H", 2147483647},
  };
  for (const Case& c : cases) {
    std::int32_t charge = kUntouched;
    EXPECT_EQ(adductCharge(c.expression, charge), c.charge != 0)
        << c.expression;
    EXPECT_EQ(charge, c.charge) << c.expression;
  }
}

TEST(AdductChargeTest, AnyNumberOfTermsIsSafe) {
  std::string expression = "M";
  for (int i = 0; i < 10000; ++i) expression += "+99999999999H";
  std::int32_t charge = 0;
  EXPECT_TRUE(adductCharge(expression, charge));
  EXPECT_EQ(charge, 2147483647);
}

TEST(AppendChargeSuffixTest, Suffixes) {
  struct Case {
    std::int32_t charge;
    const char* suffix;
  };
  const Case cases[] = {{1, "+"},   {-1, "-"},  {2, "2+"},
                        {-3, "3-"}, {10, "10+"}, {0, "0-"},
                        {2147483647, "2147483647+"},
                        {-2147483647 - 1, "2147483648-"}};
  for (const Case& c : cases) {
    std::string text = "[M]";
    appendChargeSuffix(text, c.charge);
    EXPECT_EQ(text, std::string("[M]") + c.suffix) << c.charge;
  }
}

TEST(AdductFromNameTailTest, ResultsAndWhatFalseLeavesBehind) {
  struct Case {
    std::string name;
    bool result;
    std::string adduct;  // kUnchanged: the caller's text stays
    std::int32_t charge;  // kUntouched: the caller's value stays
  };
  const Case cases[] = {
      {"Caffeine M+H", true, "[M+H]+", 1},
      {"Caffeine M+2H", true, "[M+2H]2+", 2},
      {"Caffeine M-H", true, "[M-H]-", -1},
      {"Caffeine M+Na", true, "[M+Na]+", 1},
      {"Caffeine M+H-H2O", true, "[M+H-H2O]+", 1},
      {"Caffeine M+FA-H", true, "[M+FA-H]-", -1},
      {"Caffeine M+Cl", true, "[M+Cl]-", -1},
      {"Caffeine M+Li", true, "[M+Li]+", 1},
      {"Caffeine M+", true, "[M]+", 1},
      {"Caffeine M-", true, "[M]-", -1},
      // A count that begins the word is the adduct's: multimers.
      {"caffeine 2M+Na", true, "[2M+Na]+", 1},
      {"Caffeine 2M+H", true, "[2M+H]+", 1},
      {"3M-H", true, "[3M-H]-", -1},
      {"Dimer 2M+", true, "[2M]+", 1},
      {"Compound5M+H", true, "[M+H]+", 1},
      {"x2M+H", true, "[M+H]+", 1},
      // Only a name in adduct form states one: after its "M", a sign.
      {"Caffeine M", false, kUnchanged, kUntouched},
      {"Metformin", false, kUnchanged, kUntouched},
      {"MDMA", false, kUnchanged, kUntouched},
      {"L-Methionine", false, kUnchanged, kUntouched},
      {"Compound SM", false, kUnchanged, kUntouched},
      {"SM", false, kUnchanged, kUntouched},
      {"M", false, kUnchanged, kUntouched},
      {"Caffeine M+H]", false, kUnchanged, kUntouched},
      {"Caffeine M+Na)", false, kUnchanged, kUntouched},
      {"Caffeine M+H+", false, kUnchanged, kUntouched},
      {"Caffeine", false, kUnchanged, kUntouched},
      {"caffeine m+h", false, kUnchanged, kUntouched},
      {"Caffeine M+H 10eV", false, kUnchanged, kUntouched},
      {"Caffeine M+H ", false, kUnchanged, kUntouched},
      {"", false, kUnchanged, kUntouched},
      {"Caffeine M+Cl+Na", false, kUnchanged, 0},
      {"Caffeine M+H2O", false, kUnchanged, 0},
      {"Caffeine MH+", false, kUnchanged, kUntouched},
      {"Caffeine [M+H]", false, kUnchanged, kUntouched},
  };
  for (const Case& c : cases) {
    std::string adduct = kUnchanged;
    std::int32_t charge = kUntouched;
    EXPECT_EQ(adductFromNameTail(c.name, adduct, charge), c.result) << c.name;
    EXPECT_EQ(adduct, c.adduct) << c.name;
    EXPECT_EQ(charge, c.charge) << c.name;
  }
}

TEST(AdductFromBracketTest, ResultsAndWhatFalseLeavesBehind) {
  struct Case {
    std::string name;
    bool result;
    std::string adduct;
  };
  const Case cases[] = {
      {"Caffeine [M+H]", true, "[M+H]+"},
      {"Caffeine [M+2H] 20eV", true, "[M+2H]2+"},
      {"Caffeine [M-H]", true, "[M-H]-"},
      {"Caffeine [M]", true, "[M]+"},
      {"Caffeine [M+FA-H]", true, "[M+FA-H]-"},
      {"Caffeine [M+Cl]", true, "[M+Cl]-"},
      {"Caffeine [M+FA]", true, "[M+FA]-"},
      {"[M+Na] Caffeine", true, "[M+Na]+"},
      {"Caffeine [M+H][M+Na]", true, "[M+Na]+"},
      {"A [M+H] B [x]", false, ""},
      // A count before the "M" is kept: multimers.
      {"Caffeine [2M+H]", true, "[2M+H]+"},
      {"caffeine [2M+Na]+", true, "[2M+Na]+"},
      {"caffeine [2M+Na]", true, "[2M+Na]+"},
      {"caffeine [12M-H]", true, "[12M-H]-"},
      {"Caffeine [2x]", false, ""},
      {"Caffeine [", false, ""},
      {"", false, ""},
      {"Caffeine", false, ""},
      {"Caffeine [M+H", false, "[M+H"},
      {"Caffeine [M+Cl+Na]", false, "[M+Cl+Na]"},
      {"Caffeine [M+]", false, "[M+]"},
      // A charge already written after the "]" is kept, in the "2+" form.
      {"Caffeine [M+H]+", true, "[M+H]+"},
      {"Caffeine [M-H]-", true, "[M-H]-"},
      {"Caffeine [M+2H]2+", true, "[M+2H]2+"},
      {"Caffeine [M+H]1+", true, "[M+H]+"},
      {"Caffeine [M+3H]12+ 30eV", true, "[M+3H]12+"},
      {"Caffeine [M+2H]+2", true, "[M+2H]2+"},
      {"Caffeine [M-2H]-2", true, "[M-2H]2-"},
      {"Caffeine [M+Cl]-", true, "[M+Cl]-"},
      // Anything else after the "]" is no adduct.
      {"Caffeine [M+H]x", false, "[M+H]x"},
      {"Caffeine [M+H]02+", false, "[M+H]02+"},
      {"Caffeine [M+H]+02", false, "[M+H]+02"},
      {"Caffeine [M+H]2", false, "[M+H]2"},
      {"Caffeine [M+H]+-", false, "[M+H]+-"},
      {"Caffeine [M+H]2+x", false, "[M+H]2+x"},
      {"Caffeine [M+H]]", false, "[M+H]]"},
  };
  for (const Case& c : cases) {
    std::string adduct;
    EXPECT_EQ(adductFromBracket(c.name, adduct), c.result) << c.name;
    EXPECT_EQ(adduct, c.adduct) << c.name;
  }
}

// ADDUCT, ION, PRECURSORTYPE and PRECURSOR_TYPE values as exports write
// them, and the one notation a library gets.
TEST(StatedAdductNotationTest, Forms) {
  struct Case {
    std::string value;
    std::string notation;  // kUnchanged: false, notation untouched
  };
  const Case cases[] = {
      // A bracket with a charge suffix: kept, the suffix as "N+".
      {"[M+H]+", "[M+H]+"},
      {"[M+2H]+2", "[M+2H]2+"},
      {"[M-2H]-2", "[M-2H]2-"},
      {"[M+2H]2+", "[M+2H]2+"},
      {"[M+H]+1", "[M+H]+"},
      {"[Cat]+", "[Cat]+"},
      {"  [M+Na]+ ", "[M+Na]+"},
      {"[M+H]++", kUnchanged},
      {"[M+H]+ 20eV", kUnchanged},
      {"[M+H]2", kUnchanged},
      // A bracket alone: its expression's charge appended.
      {"[M+H]", "[M+H]+"},
      {"[M]", "[M]+"},
      {"[2M+Na]", "[2M+Na]+"},
      {"[M+FA-H]", "[M+FA-H]-"},
      {"[]", kUnchanged},
      {"[Cat+H]", kUnchanged},
      {"[M+H2O]", kUnchanged},
      {"[M+H", kUnchanged},
      // A bare expression, as matchms and GNPS write them.
      {"M-H", "[M-H]-"},
      {"M+FA-H", "[M+FA-H]-"},
      {"M+H-H2O", "[M+H-H2O]+"},
      {"2M+Na", "[2M+Na]+"},
      {"M+2H", "[M+2H]2+"},
      {"M+Cl", "[M+Cl]-"},
      {" M+H ", "[M+H]+"},
      {"M+", "[M]+"},
      {"M-", "[M]-"},
      {"M", kUnchanged},
      {"M+H2O", kUnchanged},
      {"M+Cl+Na", kUnchanged},
      {"m+h", kUnchanged},
      {"M+H 20eV", kUnchanged},
      {"Unknown", kUnchanged},
      {"", kUnchanged},
  };
  for (const Case& c : cases) {
    std::string notation = kUnchanged;
    EXPECT_EQ(statedAdductNotation(c.value, notation), c.notation != kUnchanged)
        << c.value;
    EXPECT_EQ(notation, c.notation) << c.value;
  }
}

TEST(AdductFromBracketTest, ReplacesTheCallersTextOnlyOnceAWordIsFound) {
  std::string adduct = "old";
  EXPECT_FALSE(adductFromBracket("Caffeine [x]", adduct));
  EXPECT_EQ(adduct, "old");
  EXPECT_FALSE(adductFromBracket("Caffeine [M+H2O]", adduct));
  EXPECT_EQ(adduct, "[M+H2O]");
}

}  // namespace
}  // namespace mspforge
