#include "translate/translate_record.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "translation_cases.h"

namespace mspforge {
namespace {

using test::Fields;
using test::fieldsOf;
using test::Translation;

FieldMap mapOf(const Fields& fields) {
  FieldMap map;
  for (const auto& [key, value] : fields) map.set(key, value);
  return map;
}

Translation translate(const Fields& source) {
  Translation t;
  // The outputs view the source's bytes: it must outlive them.
  const FieldMap sourceFields = mapOf(source);
  FieldMap library;
  FieldMap comments;
  t.accepted = translateRecord(sourceFields, t.name, library, comments);
  t.library = fieldsOf(library);
  t.comments = fieldsOf(comments);
  return t;
}

TEST(TranslateRecordTest, EveryRowOfTheKeyTable) {
  struct Row {
    const char* sourceKey;
    const char* libraryKey;
  };
  const Row rows[] = {
      {"ADDUCT", "Precursor_type"},
      {"ION", "Precursor_type"},
      {"PRECURSORTYPE", "Precursor_type"},
      {"PRECURSOR_TYPE", "Precursor_type"},
      {"COLLISION_ENERGY", "Collision_energy"},
      {"COLLISIONENERGY", "Collision_energy"},
      {"COLLISION_ENERGY_1", "Collision_energy"},
      {"ION_MODE", "Ion_mode"},
      {"IONMODE", "Ion_mode"},
      {"MSLEVEL", "Spectrum_type"},
      {"MS_LEVEL", "Spectrum_type"},
      {"MS_IONISATION", "Ionization"},
      {"MS_MANUFACTURER", "Instrument"},
      {"PEPMASS", "PrecursorMZ"},
      {"PRECURSOR_MZ", "PrecursorMZ"},
      {"MS_DISSOCIATION_METHOD", "Instrument_type"},
      {"FRAGMENTATION_METHOD", "Instrument_type"},
      {"FORMULA", "Formula"},
      {"INCHIAUX", "InChIKey"},
  };
  for (const Row& row : rows) {
    Translation t = translate({{row.sourceKey, "V"}});
    ASSERT_EQ(t.library.size(), 1u) << row.sourceKey;
    EXPECT_EQ(t.library[0].first, row.libraryKey);
    EXPECT_TRUE(t.comments.empty()) << row.sourceKey;
    EXPECT_EQ(t.name, "");
  }
  for (const char* nameKey : {"NAME", "COMPOUND_NAME"}) {
    Translation t = translate({{nameKey, "Caffeine"}});
    EXPECT_EQ(t.name, "Caffeine");
    EXPECT_TRUE(t.library.empty());
    EXPECT_TRUE(t.comments.empty());
  }
}

TEST(TranslateRecordTest, KeysMatchWholeAndCaseSensitively) {
  for (const char* key : {"name", "Name", "NAME ", " NAME", "Pepmass", "",
                          "CHARGE", "SCANS", "SMILES", "INCHIKEY",
                          "precursortype", "Precursor_Type", "MSLEVEL2",
                          // A row's length and first eight bytes, then not.
                          "COLLISION_ENERGX", "PRECURSOR_TYPe",
                          "COLLISION_ENERGY_2", "MS_DISSOCIATION_METHOd",
                          "MS_DISSOCIATIOn_METHOD"}) {
    Translation t = translate({{key, "v"}});
    EXPECT_EQ(t.comments, (Fields{{key, "v"}})) << '"' << key << '"';
    EXPECT_TRUE(t.library.empty());
    EXPECT_EQ(t.name, "");
  }
}

TEST(TranslateRecordTest, ValueRules) {
  struct Case {
    const char* key;
    std::string value;
    const char* libraryKey;
    std::string stored;
  };
  const Case cases[] = {
      // MS level: "MS" before the whole value unless it reads as 0.
      {"MSLEVEL", "2", "Spectrum_type", "MS2"},
      {"MSLEVEL", "02", "Spectrum_type", "MS02"},
      {"MSLEVEL", "2.0", "Spectrum_type", "MS2.0"},
      {"MSLEVEL", " 2", "Spectrum_type", "MS 2"},
      {"MSLEVEL", "-1", "Spectrum_type", "MS-1"},
      {"MSLEVEL", "3rd", "Spectrum_type", "MS3rd"},
      {"MSLEVEL", "MS2", "Spectrum_type", "MS2"},
      {"MSLEVEL", "0", "Spectrum_type", "0"},
      {"MSLEVEL", "", "Spectrum_type", ""},
      // Ion mode: "negative" in any ASCII case, blanks and tabs around it
      // ignored, is N; everything else is P.
      {"IONMODE", "negative", "Ion_mode", "N"},
      {"IONMODE", "Negative", "Ion_mode", "N"},
      {"IONMODE", "NEGATIVE", "Ion_mode", "N"},
      {"IONMODE", "nEgAtIvE", "Ion_mode", "N"},
      {"IONMODE", " negative\t", "Ion_mode", "N"},
      {"IONMODE", "\t\t Negative  ", "Ion_mode", "N"},
      {"IONMODE", "negative ", "Ion_mode", "N"},
      {"IONMODE", "neg", "Ion_mode", "P"},
      {"IONMODE", "positive", "Ion_mode", "P"},
      {"IONMODE", "Positive", "Ion_mode", "P"},
      {"IONMODE", "", "Ion_mode", "P"},
      {"IONMODE", " \t", "Ion_mode", "P"},
      {"IONMODE", "negatives", "Ion_mode", "P"},
      {"IONMODE", "n/a", "Ion_mode", "P"},
      {"IONMODE", "nega tive", "Ion_mode", "P"},
      {"IONMODE", "negative\v", "Ion_mode", "P"},  // only blanks and tabs
      {"IONMODE", "NEGAT\xc4\xb0VE", "Ion_mode", "P"},  // ASCII letters only
      {"ION_MODE", "Negative", "Ion_mode", "N"},
      // Adduct: "]1+" and "]1-" shortened, the rest dropped.
      {"ADDUCT", "[M+H]1+", "Precursor_type", "[M+H]+"},
      {"ADDUCT", "[M-H]1-", "Precursor_type", "[M-H]-"},
      {"ADDUCT", "[M+2H]1+", "Precursor_type", "[M+2H]+"},
      {"ADDUCT", "[M+H]1+ 20eV", "Precursor_type", "[M+H]+"},
      {"ADDUCT", "[M+H]1+xyz", "Precursor_type", "[M+H]+"},
      {"ADDUCT", "]1+", "Precursor_type", "]+"},
      {"ADDUCT", "[M+H]+", "Precursor_type", "[M+H]+"},
      {"ADDUCT", "[M+2H]2+", "Precursor_type", "[M+2H]2+"},
      {"ADDUCT", "[M]1-x]1+", "Precursor_type", "[M]1-x]+"},
      {"ADDUCT", "[M+H]1", "Precursor_type", "[M+H]1"},
      {"ADDUCT", "", "Precursor_type", ""},
      {"PRECURSORTYPE", "[M+Na]1+", "Precursor_type", "[M+Na]+"},
      {"PRECURSOR_TYPE", "[M-H]1-", "Precursor_type", "[M-H]-"},
      {"PRECURSOR_TYPE", "", "Precursor_type", ""},
      // Formula: one trailing sign removed.
      {"FORMULA", "C8H10N4O2+", "Formula", "C8H10N4O2"},
      {"FORMULA", "C6H7O7-", "Formula", "C6H7O7"},
      {"FORMULA", "C2H4+-", "Formula", "C2H4+"},
      {"FORMULA", "C6H5+O", "Formula", "C6H5+O"},
      {"FORMULA", "+", "Formula", ""},
      {"FORMULA", "-", "Formula", ""},
      {"FORMULA", "", "Formula", ""},
      // Precursor m/z: the first blank- or tab-separated word alone.
      {"PEPMASS", "195.0877 12000", "PrecursorMZ", "195.0877"},
      {"PEPMASS", "\t 301.1\t1200 2+", "PrecursorMZ", "301.1"},
      {"PEPMASS", "195.0877 ", "PrecursorMZ", "195.0877"},
      {"PEPMASS", "983.6 1234 2+", "PrecursorMZ", "983.6"},
      {"PEPMASS", "195.0877", "PrecursorMZ", "195.0877"},
      {"PEPMASS", "301.1,1200", "PrecursorMZ", "301.1,1200"},
      {"PEPMASS", "", "PrecursorMZ", ""},
      {"PEPMASS", "  ", "PrecursorMZ", ""},
      {"PRECURSOR_MZ", "179.0561 88", "PrecursorMZ", "179.0561"},
      // Past eight bytes, and a blank or tab among the first eight.
      {"PEPMASS", "1234.567890123\t5", "PrecursorMZ", "1234.567890123"},
      {"PEPMASS", "1.5 120000000", "PrecursorMZ", "1.5"},
      {"PEPMASS", "12345678\t9", "PrecursorMZ", "12345678"},
      // Plain copies keep every byte.
      {"INCHIAUX", " ", "InChIKey", " "},
      {"COLLISION_ENERGY", std::string("a\0b", 3), "Collision_energy",
       std::string("a\0b", 3)},
  };
  for (const Case& c : cases) {
    Translation t = translate({{c.key, c.value}});
    EXPECT_EQ(t.library, (Fields{{c.libraryKey, c.stored}}))
        << c.key << "=" << c.value;
  }
}

TEST(TranslateRecordTest, GreatestKeyWinsASharedTarget) {
  struct Case {
    Fields source;
    std::string name;
    Fields library;
  };
  const Case cases[] = {
      {{{"NAME", "n"}, {"COMPOUND_NAME", "c"}}, "n", {}},
      {{{"NAME", ""}, {"COMPOUND_NAME", "Caffeine"}}, "", {}},
      {{{"COLLISIONENERGY", "1"}, {"COLLISION_ENERGY", "2"}},
       "", {{"Collision_energy", "2"}}},
      {{{"COLLISION_ENERGY_1", "3"}, {"COLLISION_ENERGY", "2"},
        {"COLLISIONENERGY", "1"}},
       "", {{"Collision_energy", "3"}}},
      {{{"IONMODE", "negative"}, {"ION_MODE", "Positive"}},
       "", {{"Ion_mode", "P"}}},
      {{{"ION_MODE", "negative"}, {"IONMODE", "positive"}},
       "", {{"Ion_mode", "N"}}},
      {{{"MSLEVEL", "2"}, {"MS_LEVEL", "0"}}, "", {{"Spectrum_type", "0"}}},
      {{{"PEPMASS", "1"}, {"PRECURSOR_MZ", ""}}, "", {{"PrecursorMZ", ""}}},
      {{{"PEPMASS", "1"}, {"PRECURSOR_MZ", " 2 3"}}, "", {{"PrecursorMZ", "2"}}},
      {{{"PEPMASS", "1 5"}, {"PRECURSOR_MZ", " "}}, "", {{"PrecursorMZ", ""}}},
      {{{"MS_DISSOCIATION_METHOD", "CID"}, {"FRAGMENTATION_METHOD", "HCD"}},
       "", {{"Instrument_type", "CID"}}},
      {{{"ADDUCT", "[M+H]+"}, {"PRECURSORTYPE", "[M+Na]+"}},
       "", {{"Precursor_type", "[M+Na]+"}}},
      {{{"PRECURSOR_TYPE", "[M+K]+"}, {"PRECURSORTYPE", "[M+Na]+"},
        {"ADDUCT", "[M+H]+"}, {"ION", "[M+Li]+"}},
       "", {{"Precursor_type", "[M+K]+"}}},
      {{{"ION", "M-H"}, {"ADDUCT", "[M+H]+"}},
       "", {{"Precursor_type", "[M-H]-"}}},
      {{{"ADDUCT", "[M+H]1+"}, {"PRECURSOR_TYPE", ""}},
       "", {{"Precursor_type", ""}}},
  };
  for (const Case& c : cases) {
    Translation t = translate(c.source);
    EXPECT_EQ(t.name, c.name);
    EXPECT_EQ(t.library, c.library);
    EXPECT_TRUE(t.comments.empty());
  }
}

TEST(TranslateRecordTest, WorkedExample) {
  Translation t = translate({{"ADDUCT", "[M+H]1+"},
                             {"CHARGE", "1"},
                             {"COLLISIONENERGY", "20"},
                             {"COLLISION_ENERGY", "35"},
                             {"COMPOUND_NAME", "Caffeine"},
                             {"FORMULA", "C8H10N4O2+"},
                             {"IONMODE", "Positive"},
                             {"MSLEVEL", "2"},
                             {"NAME", "Caffeine standard"},
                             {"PEPMASS", "195.0877"},
                             {"SCANS", "17"},
                             {"TITLE", "Scan 17"}});
  EXPECT_TRUE(t.accepted);
  EXPECT_EQ(t.name, "Caffeine standard");
  EXPECT_EQ(t.library, (Fields{{"Collision_energy", "35"},
                               {"Formula", "C8H10N4O2"},
                               {"Ion_mode", "P"},
                               {"PrecursorMZ", "195.0877"},
                               {"Precursor_type", "[M+H]+"},
                               {"Spectrum_type", "MS2"}}));
  EXPECT_EQ(t.comments,
            (Fields{{"CHARGE", "1"}, {"SCANS", "17"}, {"TITLE", "Scan 17"}}));
}

TEST(TranslateRecordTest, OutputsHoldNothingOfAnEarlierRecord) {
  FieldMap library;
  FieldMap comments;
  CompoundName name;
  translateRecord(mapOf({{"NAME", "a"}, {"PEPMASS", "1"}, {"X", "y"}}), name,
                  library, comments);
  EXPECT_FALSE(translateRecord(FieldMap(), name, library, comments));
  EXPECT_EQ(name, "");
  EXPECT_TRUE(library.empty());
  EXPECT_TRUE(comments.empty());
}

TEST(TranslateRecordTest, AcceptanceNeedsMsLevelPrecursorAndName) {
  struct Case {
    Fields source;
    bool accepted;
  };
  const Case cases[] = {
      {{{"NAME", "Caffeine"}, {"MSLEVEL", "2"}, {"PEPMASS", "195.0877"}}, true},
      {{{"NAME", "Caffeine"}, {"MSLEVEL", "0"}, {"PEPMASS", "1"}}, true},
      {{{"NAME", "Caffeine"}, {"MSLEVEL", "2"}, {"PEPMASS", ""}}, false},
      {{{"NAME", " "}, {"MSLEVEL", "2"}, {"PEPMASS", "1"}}, false},
      {{{"NAME", "Caffeine"}, {"MSLEVEL", "2"}}, false},
      {{{"NAME", "Caffeine"}, {"PEPMASS", "195.0877"}}, false},
      {{{"NAME", ""}, {"MSLEVEL", "2"}, {"PEPMASS", "1"}}, false},
      {{}, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(translate(c.source).accepted, c.accepted);
  }
}

}  // namespace
}  // namespace mspforge
