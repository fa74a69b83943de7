// What translation works out for one record and can use again for the
// next ones of a run: the outcome of the renaming walk for each sequence
// of header keys seen lately (the records of a file mostly repeat a few
// such sequences, and a plan found again is applied without looking up a
// key, comparing ranks or sorting the comments), and the adduct notation
// of the stated adducts seen lately.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "mspforge/field_map.h"
#include "translate/key_rename_table.h"

namespace mspforge {

// The outcome of the walk over one sequence of keys, by the index of each
// header line in the order the lines were set.
struct WalkPlan {
  static constexpr std::int32_t kNone = -1;
  // The line whose value each library key takes (the last: the name), and
  // the row that renamed it; kNone where no line has the key.
  std::array<std::int32_t, LibraryKeys.size() + 1> winners;
  std::array<const KeyRename*, LibraryKeys.size() + 1> rows;
  // The library keys that some line has, in order, and the source key of
  // the one that states the adduct (empty when none does).
  std::array<std::uint8_t, LibraryKeys.size()> libraryKeys;
  std::size_t libraryKeyCount = 0;
  std::string_view statedAdductKey;
  // The comment lines in key order, of lines with the same key the last.
  std::vector<std::int32_t> comments;
  // The last "TITLE" and "CHARGE" comment lines, which completion reads.
  std::int32_t title = kNone;
  std::int32_t charge = kNone;

  // The keys the plan was made for, one after another, and for each its
  // size, where it stands among them, and its first and last bytes as two
  // words; not kept (and the plan not reused) for keys too long to keep.
  struct KeyCheck {
    std::uint64_t head;
    std::uint64_t tail;
    std::uint32_t size;
    std::uint32_t offset;
  };
  bool reusable = false;
  std::string keyText;
  std::vector<KeyCheck> keyChecks;
};

// Makes plan for fields (in the order set); keepKeys keeps a copy of their
// keys, so that the plan can be found again.
void makeWalkPlan(WalkPlan& plan, std::span<const Field> fields,
                  bool keepKeys = false);

// The plans of the key sequences seen lately and the notations of the
// stated adducts seen lately, a fixed number of each.
class TranslationMemory {
 public:
  TranslationMemory();

  // The plan for the entries of sourceFields in the order set, made now
  // unless one made earlier fits. Valid until the next call.
  const WalkPlan& planFor(const FieldMap& sourceFields);

  // normaliseValue(ValueRule::PrecursorType, value, storage), from memory
  // when value was seen lately.
  std::string_view statedAdduct(std::string_view value, FieldMap& storage);

 private:
  static constexpr std::size_t kBucketBits = 6;
  static constexpr std::size_t kWays = 4;
  std::vector<std::unique_ptr<WalkPlan>> plans_;

  struct Adduct {
    std::string value;
    std::string notation;
    bool unchanged = false;  // the notation is the value itself
    bool known = false;
  };
  // Each adduct has one place, picked from its size and a few of its
  // bytes.
  static constexpr std::size_t kAdductBits = 5;
  std::array<Adduct, std::size_t{1} << kAdductBits> adducts_;
};

}  // namespace mspforge
