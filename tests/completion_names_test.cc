// Record completion seen from outside, for records named by a template or
// in the negative ion mode: MGF text in, MSP text out.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "completion_cases.h"

namespace mspforge {
namespace {

using test::Lines;
using test::nameAndAdduct;
using test::plus;

// --name: spectra without a name of their own, as feature exports have
// them, are named from their header lines as read.
TEST(CompleteRecordTest, NameTemplates) {
  struct Case {
    const char* what;
    Lines source;
    std::string nameTemplate;
    std::string expected;
  };
  const std::vector<Case> cases = {
      {"feature id", plus({"FEATURE_ID=17", "CHARGE=1+"}),
       "Feature {FEATURE_ID}", "Name: Feature 17 | [M+H]+"},
      {"two keys, value as read", plus({"SCANS= 4-6", "RTINSECONDS=12.5"}),
       "{SCANS} at {RTINSECONDS} s", "Name:  4-6 at 12.5 s"},
      {"a key the record lacks", plus({"SCANS=4"}), "Feature {FEATURE_ID}",
       "rejected"},
      {"named records are untouched", plus({"NAME=A", "FEATURE_ID=1"}),
       "Feature {FEATURE_ID}", "Name: A"},
      {"a title comes first", plus({"TITLE=T", "FEATURE_ID=1"}),
       "Feature {FEATURE_ID}", "Name: T"},
      {"a blank name is none", plus({"NAME= ", "FEATURE_ID=1"}),
       "Feature {FEATURE_ID}", "Name: Feature 1"},
      {"adduct rules run on it", plus({"FEATURE_ID=9", "CHARGE=1"}),
       "F{FEATURE_ID} M+Na", "Name: F9 M+Na | [M+Na]+"},
      {"adduct rules run on it, bracket", plus({"FEATURE_ID=9"}),
       "F{FEATURE_ID} [M+Na]", "Name: F9 [M+Na] | [M+Na]+"},
      {"braces without a key are text", plus({"FEATURE_ID=9"}),
       "{}{x{FEATURE_ID}}", "Name: {}{x9}"},
      {"a key from the renaming table, as read", plus({"FEATURE_ID=9"}),
       "{FEATURE_ID}@{PEPMASS}", "Name: 9@1"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(nameAndAdduct(c.source, c.nameTemplate), c.expected) << c.what;
  }
}

// GNPS library exports write CHARGE=1 for negative-mode spectra: in a
// record whose ion mode is negative, a positive charge counts as negative.
TEST(CompleteRecordTest, NegativeIonModeMakesTheChargeNegative) {
  struct Case {
    Lines source;
    std::string expected;
  };
  const std::vector<Case> cases = {
      {plus(
           {"IONMODE=negative", "NAME=Fuberidazole_C11H8N2O_ M-H", "CHARGE=1"}),
       "Name: Fuberidazole_C11H8N2O_ M-H | [M-H]-"},
      {plus({"IONMODE=Negative", "NAME=Caffeine M+H", "CHARGE=1"}),
       "Name: Caffeine M+H | [M-H]-"},
      {plus({"IONMODE=Negative", "NAME=X M+Cl", "CHARGE=1"}),
       "Name: X M+Cl | [M+Cl]-"},
      {plus({"IONMODE=negative", "NAME=Forchlorfenuron M+Cl", "CHARGE=1"}),
       "Name: Forchlorfenuron M+Cl | [M+Cl]-"},
      {plus({"IONMODE=Negative", "NAME=X M+FA-H", "CHARGE=1"}),
       "Name: X M+FA-H | [M+FA-H]-"},
      {plus({"IONMODE=Negative", "NAME=X M+FA-H", "CHARGE=2"}),
       "Name: X M+FA-H | [M-2H]2-"},
      {plus({"IONMODE=NEGATIVE", "NAME=Caffeine", "CHARGE=1+"}),
       "Name: Caffeine | [M-H]-"},
      {plus({"IONMODE=negative", "NAME=Caffeine", "CHARGE=2"}),
       "Name: Caffeine | [M-2H]2-"},
      {plus({"IONMODE=negative", "NAME=Caffeine", "CHARGE=-1"}),
       "Name: Caffeine | [M-H]-"},
      {plus({"IONMODE=negative", "NAME=Caffeine", "CHARGE=1-"}),
       "Name: Caffeine | [M-H]-"},
      {plus({"IONMODE=negative", "NAME=Caffeine", "CHARGE=0"}),
       "Name: Caffeine"},
      {plus({"IONMODE=negative", "NAME=Caffeine", "CHARGE=2147483647"}),
       "Name: Caffeine | [M-2147483647H]2147483647-"},
      {plus({"IONMODE=negative", "NAME=Caffeine M-H"}), "Name: Caffeine M-H"},
      // ADDUCT and a bracket in the name still win.
      {plus({"IONMODE=negative", "NAME=X", "ADDUCT=[M+H]+", "CHARGE=1"}),
       "Name: X | [M+H]+"},
      {plus({"IONMODE=negative", "NAME=Caffeine [M+H]", "CHARGE=1"}),
       "Name: Caffeine [M+H] | [M+H]+"},
      // Nothing changes where the ion mode is positive or absent.
      {plus({"IONMODE=Positive", "NAME=Caffeine M-H", "CHARGE=1"}),
       "Name: Caffeine M-H | [M+H]+"},
      {plus({"IONMODE=n/a", "NAME=Caffeine", "CHARGE=1"}),
       "Name: Caffeine | [M+H]+"},
      {plus({"NAME=Caffeine M-H", "CHARGE=1"}), "Name: Caffeine M-H | [M+H]+"},
      // The ion mode that the walk kept decides: ION_MODE wins over IONMODE.
      {plus({"IONMODE=negative", "ION_MODE=positive", "NAME=C", "CHARGE=1"}),
       "Name: C | [M+H]+"},
      {plus({"IONMODE=positive", "ION_MODE=Negative", "NAME=C", "CHARGE=1"}),
       "Name: C | [M-H]-"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(nameAndAdduct(c.source), c.expected) << c.source.back();
  }
}

}  // namespace
}  // namespace mspforge
