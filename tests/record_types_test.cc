#include "mspforge/record_types.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <string>
#include <vector>

namespace mspforge {
namespace {

std::vector<std::string> keysOf(const FieldMap& map) {
  std::vector<std::string> keys;
  for (const Field& field : map) keys.emplace_back(field.key);
  return keys;
}

TEST(FieldMapTest, IteratesInUnsignedByteOrderWithPrefixesFirst) {
  struct Case {
    std::vector<std::string> inserted;
    std::vector<std::string> expected;
  };
  const std::vector<Case> cases = {
      // Capitals (0x41-0x5A) before '_' (0x5F) before small letters.
      {{"Precursor_type", "PrecursorMZ"}, {"PrecursorMZ", "Precursor_type"}},
      {{"TITLE", "SCANS", "CHARGE"}, {"CHARGE", "SCANS", "TITLE"}},
      {{"COLLISION_ENERGY_1", "COLLISION_ENERGY", "COLLISIONENERGY"},
       {"COLLISIONENERGY", "COLLISION_ENERGY", "COLLISION_ENERGY_1"}},
      {{"b", "a", "B", "_"}, {"B", "_", "a", "b"}},
      // Keys of four to seven bytes, whose last bytes decide.
      {{"ABCE", "ABCD\xFF", "ABCDZZ", "ABCDEFG", "ABCDZ", "ABC"},
       {"ABC", "ABCDEFG", "ABCDZ", "ABCDZZ", "ABCD\xFF", "ABCE"}},
      // Bytes above 0x7F sort after ASCII: compared as unsigned.
      {{"\xC3\xA9", "z", ""}, {"", "z", "\xC3\xA9"}},
      // An embedded NUL is an ordinary byte that sorts first.
      {{std::string("a\0b", 3), "a", "a "},
       {"a", std::string("a\0b", 3), "a "}},
  };
  // One map appended to and cleared from case to case, as the reader's and
  // the comments' maps are from record to record, so that the order found
  // for one case is tried on the next, and on the same keys reversed.
  FieldMap appended;
  for (const Case& c : cases) {
    FieldMap map;
    for (const std::string& key : c.inserted) map.set(key, "v");
    EXPECT_EQ(keysOf(map), c.expected);
    for (bool reversed : {false, true}) {
      appended.clear();
      std::vector<std::string> keys = c.inserted;
      if (reversed) std::reverse(keys.begin(), keys.end());
      for (const std::string& key : keys) appended.appendView(key, "v");
      EXPECT_EQ(keysOf(appended), c.expected);
      appended.clear();
      for (const std::string& key : keys) appended.appendView(key, "v");
      EXPECT_EQ(keysOf(appended), c.expected);
    }
  }
}

TEST(FieldMapTest, SetReplacesTheValueOfAPresentKey) {
  FieldMap map;
  map.set("CHARGE", "1+");
  map.set("TITLE", "x");
  map.set("CHARGE", "");
  ASSERT_EQ(map.size(), 2u);
  ASSERT_NE(map.find("CHARGE"), nullptr);
  EXPECT_EQ(*map.find("CHARGE"), "");
  EXPECT_EQ(map.find("charge"), nullptr);
  EXPECT_FALSE(map.contains("CHARGE "));
}

TEST(FieldMapTest, ClearedMapHoldsNothingOfItsPreviousContent) {
  FieldMap map;
  for (const char* key : {"D", "B", "A", "C"}) map.set(key, key);
  map.clear();
  EXPECT_TRUE(map.empty());
  EXPECT_EQ(map.begin(), map.end());
  EXPECT_EQ(map.find("A"), nullptr);
  map.set("C", "new");
  map.set("A", "first");
  EXPECT_EQ(keysOf(map), (std::vector<std::string>{"A", "C"}));
  EXPECT_EQ(*map.find("C"), "new");
}

// Every way of storing mixed with every way of reading, in a random order,
// against std::map: a key stored last holds, whichever call stored it.
TEST(FieldMapTest, MixedWritesAndReadsMatchAnOrderedMap) {
  std::mt19937 random(7);
  std::vector<std::string> keys;  // the views' bytes, kept alive
  for (int i = 0; i < 40; ++i) keys.push_back("K" + std::to_string(i % 29));
  FieldMap map;
  std::map<std::string, std::string> expected;
  for (int step = 0; step < 20000; ++step) {
    const std::string& key = keys[random() % keys.size()];
    const std::string& value = keys[random() % keys.size()];
    switch (random() % 8) {
      case 0:
        map.set(key, value);
        expected[key] = value;
        break;
      case 1:
        map.setView(key, value);
        expected[key] = value;
        break;
      case 2:
      case 3:
        map.appendView(key, value);
        expected[key] = value;
        break;
      case 4:
        // Only a key greater than each one stored may be appended so.
        if (expected.empty() || expected.rbegin()->first < key) {
          if (random() % 2 == 0) {
            map.appendInOrder(key, value);
          } else {
            // As a selection from other fields, here the second of two.
            const Field fields[] = {{value, key}, {key, value}};
            const std::int32_t second[] = {1};
            map.appendInOrder(fields, second);
          }
          expected[key] = value;
        }
        break;
      case 5: {
        const std::string_view* found = map.find(key);
        const auto at = expected.find(key);
        ASSERT_EQ(found != nullptr, at != expected.end()) << step;
        if (found != nullptr) {
          ASSERT_EQ(*found, at->second) << step;
        }
        break;
      }
      case 6: {
        std::size_t textSize = 0;
        for (const auto& [k, v] : expected) textSize += k.size() + v.size() + 3;
        ASSERT_EQ(map.textSize(3), textSize) << step;
        std::vector<std::pair<std::string, std::string>> visited;
        map.forEachInKeyOrder([&visited](const Field& field) {
          visited.emplace_back(field.key, field.value);
        });
        ASSERT_EQ(visited, (std::vector<std::pair<std::string, std::string>>(
                               expected.begin(), expected.end())))
            << step;
        std::map<std::string, std::string> seen;
        for (const Field& field : map) {
          seen[std::string(field.key)] = field.value;
        }
        ASSERT_EQ(seen, expected) << step;
        ASSERT_EQ(map.size(), expected.size()) << step;
        ASSERT_EQ(keysOf(map).size(), expected.size()) << step;
        break;
      }
      default:
        if (random() % 16 == 0) {
          map.clear();
          expected.clear();
        }
        ASSERT_EQ(map.empty(), expected.empty()) << step;
    }
  }
}

TEST(PeakLinesTest, KeepsEachLineWithItsOwnBytes) {
  PeakLines peaks;
  peaks.append("51.0229 12.5\n");
  peaks.append(std::string("110\t100\0x\n", 10));
  peaks.append("3 4");
  ASSERT_EQ(peaks.size(), 3u);
  std::vector<std::string_view> lines;
  peaks.forEachLine([&](std::string_view line) { lines.push_back(line); });
  EXPECT_EQ(lines, (std::vector<std::string_view>{
                       "51.0229 12.5\n", std::string_view("110\t100\0x\n", 10),
                       "3 4"}));
  std::string joined;
  for (std::string_view run : peaks.runs()) joined += run;
  EXPECT_EQ(joined, std::string("51.0229 12.5\n110\t100\0x\n3 4", 26));
  peaks.clear();
  EXPECT_TRUE(peaks.empty());
  EXPECT_TRUE(peaks.runs().empty());
}

// Lines that follow one another in memory, as peak lines do in an MGF
// file, form one run; a gap starts a new one.
TEST(PeakLinesTest, AdjacentViewsFormOneRun) {
  const std::string text = "1 1\n2 2\nX\n3 3\n4 4\n";
  const std::string_view all(text);
  PeakLines peaks;
  peaks.appendView(all.substr(0, 4));
  peaks.appendView(all.substr(4, 4));
  peaks.appendView(all.substr(10, 4));  // after the gap of "X\n"
  peaks.appendView(all.substr(14, 4));
  ASSERT_EQ(peaks.runs().size(), 2u);
  EXPECT_EQ(peaks.runs()[0], "1 1\n2 2\n");
  EXPECT_EQ(peaks.runs()[1], "3 3\n4 4\n");
  EXPECT_EQ(peaks.size(), 4u);
}

// Copies that set() and append() make outlive the texts they were made
// from, and views stored with setView() are the caller's bytes.
TEST(FieldMapTest, SetCopiesAndSetViewDoesNot) {
  FieldMap map;
  std::string key = "TITLE";
  std::string value = "first";
  map.set(key, value);
  key.assign("XXXXX");
  value.assign("xxxxx");
  ASSERT_NE(map.find("TITLE"), nullptr);
  EXPECT_EQ(*map.find("TITLE"), "first");
  const std::string shared = "SCANS=17";
  map.setView(std::string_view(shared).substr(0, 5),
              std::string_view(shared).substr(6));
  EXPECT_EQ(map.find("SCANS")->data(), shared.data() + 6);
  // Many copies: the storage grows in chunks that never move.
  for (int i = 0; i < 10000; ++i) {
    map.set("K" + std::to_string(i), std::string(100, 'v'));
  }
  EXPECT_EQ(*map.find("TITLE"), "first");
  EXPECT_EQ(*map.find("K9999"), std::string(100, 'v'));
}

}  // namespace
}  // namespace mspforge

namespace mspforge {
namespace {

TEST(FieldMapTest, LaterValueWinsWhateverTheOrderOfKeys) {
  FieldMap map;
  int n = 0;
  for (const char* key : {"B", "A", "C", "A", "B", "A"}) {
    map.set(key, std::to_string(n++));
  }
  std::vector<std::string> entries;
  for (const Field& field : map) {
    entries.push_back(std::string(field.key) + std::string(field.value));
  }
  EXPECT_EQ(entries, (std::vector<std::string>{"A5", "B4", "C2"}));
  map.set("A", "last");
  EXPECT_EQ(*map.find("A"), "last");
}

// Each key inserted before its predecessor: quadratic insertion would take
// hours here; it must be quick and exact.
TEST(FieldMapTest, HundredsOfThousandsOfKeysInAnyOrder) {
  FieldMap map;
  const int n = 300000;
  for (int i = n; i > 0; --i) map.set("K" + std::to_string(i), "v");
  map.set("K7", "seven");
  ASSERT_EQ(map.size(), static_cast<std::size_t>(n));
  EXPECT_EQ(*map.find("K7"), "seven");
  EXPECT_TRUE(std::is_sorted(map.begin(), map.end(),
                             [](const Field& a, const Field& b) {
                               return a.key < b.key;
                             }));
}

}  // namespace
}  // namespace mspforge
