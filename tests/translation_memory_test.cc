// What a run's translation keeps from record to record, seen from its
// outputs.
#include "translate/translation_memory.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "translate/translate_record.h"
#include "translation_cases.h"

namespace mspforge {
namespace {

using test::Fields;
using test::fieldsOf;
using test::Translation;

// A run's translation keeps what it worked out for a sequence of keys, and
// the notation of a stated adduct, and uses them again for a record with
// the same keys or adduct. Records whose keys look alike (as many, of the
// same sizes) or repeat a key, and more adducts than it keeps, must each
// come out as they do when translated first, in whatever order they come.
TEST(TranslationMemoryTest, RecordsWithLookAlikeKeysInAnyOrder) {
  const std::string longKey(5000, 'K');
  const std::string longAdduct = "M+" + std::string(70, 'H');
  const std::vector<Fields> records = {
      {{"NAME", "a"}, {"PEPMASS", "1"}, {"ION", "M+H"}, {"XA", "1"}},
      {{"NAME", "a"}, {"PEPMASS", "1"}, {"IOX", "M+H"}, {"XA", "1"}},
      {{"NAME", "a"}, {"PEPMASS", "1"}, {"IOY", "M+H"}, {"XA", "1"}},
      {{"NAME", "a"}, {"PEPMASS", "1"}, {"IOZ", "M+H"}, {"XA", "1"}},
      {{"NAME", "a"}, {"PEPMASS", "1"}, {"IO_", "M+H"}, {"XA", "1"}},
      {{"NAME", "a"}, {"PEPMASS", "1"}, {"ION", "[M+H]1+"}, {"XB", "1"}},
      {{"NAME", "a"},
       {"PEPMASS", "1"},
       {"ION", "abc"},
       {"XA", "1"},
       {"XA", "2"}},
      {{"TITLE", "b M+Na"}, {"MSLEVEL", "2"}, {"PEPMASS", "1"}},
      {{"TITLF", "b M+Na"}, {"MSLEVEL", "2"}, {"PEPMASS", "1"}},
      {{"CHARGE", "2"}, {"NAME", "c"}, {"MSLEVEL", "2"}, {"PEPMASS", "1"}},
      {{"CHARGF", "2"}, {"NAME", "c"}, {"MSLEVEL", "2"}, {"PEPMASS", "1"}},
      {{"ADDUCT", "M-H"}, {"NAME", "e"}},
      {{"ADDUCT", "2M+Na"}, {"NAME", "e"}},
      {{"ADDUCT", longAdduct}, {"NAME", "e"}},
      {{"ADDUCT", "M+FA-H"}, {"NAME", "e"}},
      {{"ADDUCT", "abc"}, {"NAME", "e"}},
      {{longKey, "1"}, {"NAME", "d"}},
      {},
  };
  // As the reader stores them: in the order of the lines, keys repeated.
  const auto translateAsRead = [](const Fields& source,
                                  TranslationMemory& memory) {
    FieldMap sourceFields;
    for (const auto& [key, value] : source) sourceFields.appendView(key, value);
    Translation t;
    FieldMap library;
    FieldMap comments;
    t.accepted = translateRecord(sourceFields, t.name, library, comments,
                                 nullptr, "", memory);
    t.library = fieldsOf(library);
    t.comments = fieldsOf(comments);
    return t;
  };
  std::vector<Translation> first;
  for (const Fields& record : records) {
    TranslationMemory fresh;
    first.push_back(translateAsRead(record, fresh));
  }
  // The look-alikes do differ.
  EXPECT_NE(first[0].library, first[1].library);
  EXPECT_NE(first[0].comments, first[5].comments);
  EXPECT_EQ(first[6].comments, (Fields{{"XA", "2"}}));
  EXPECT_NE(first[7].name, first[8].name);
  EXPECT_NE(first[9].library, first[10].library);
  TranslationMemory memory;
  for (std::size_t round = 0; round < 3; ++round) {
    for (std::size_t n = 0; n < records.size(); ++n) {
      const std::size_t i = round == 1 ? records.size() - 1 - n : n;
      const Translation t = translateAsRead(records[i], memory);
      SCOPED_TRACE(i);
      EXPECT_EQ(t.accepted, first[i].accepted);
      EXPECT_EQ(t.name, first[i].name);
      EXPECT_EQ(t.library, first[i].library);
      EXPECT_EQ(t.comments, first[i].comments);
    }
  }
}

}  // namespace
}  // namespace mspforge
