// The machinery of FieldMap, the ordered map of a record's fields (see
// mspforge/record_types.h for what the containers hold and how long).
#pragma once

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <span>
#include <string_view>
#include <vector>

#include "mspforge/key_prefix.h"
#include "mspforge/text_arena.h"

namespace mspforge {

// One field: a key and its value, both views (see FieldMap).
struct Field {
  std::string_view key;
  std::string_view value;
};

// An ordered map from key to value, keys unique, all texts byte strings.
//
// Iteration runs in ascending key order by unsigned byte comparison, a key
// that is a proper prefix of another coming first, with no case folding:
// "PrecursorMZ" comes before "Precursor_type" because 'M' (0x4D) is below
// '_' (0x5F). This order decides both which of several MGF keys wins a
// shared MSP key and the order in which the writer emits the fields.
//
// Keys and values are views. Entries are appended to a vector in the order
// they are set, and an index vector gives their key order. Setting only
// appends, so a record of any number of header lines in any order costs
// O(n log n), not O(n^2): the index is sorted, the last value stored under
// each key kept, when the map is next read. Sorting compares the first
// eight bytes of the keys as one integer and moves only indices. The
// vectors and the storage for copies keep their capacity when the map is
// cleared, so a steady stream of records of similar shape allocates
// nothing. The map is not safe to read from two threads at once.
class FieldMap {
 public:
  // Visits the entries in key order.
  class const_iterator {
   public:
    using iterator_category = std::forward_iterator_tag;
    using value_type = Field;
    using difference_type = std::ptrdiff_t;
    using pointer = const Field*;
    using reference = const Field&;

    const_iterator() = default;
    const_iterator(const Field* entries, const std::size_t* at)
        : entries_(entries), at_(at) {}
    reference operator*() const { return entries_[*at_]; }
    pointer operator->() const { return &entries_[*at_]; }
    const_iterator& operator++() {
      ++at_;
      return *this;
    }
    const_iterator operator++(int) {
      const_iterator before = *this;
      ++at_;
      return before;
    }
    bool operator==(const const_iterator& other) const {
      return at_ == other.at_;
    }

   private:
    const Field* entries_ = nullptr;
    const std::size_t* at_ = nullptr;
  };

  // Removes every entry and releases the copies that set() and keep() made
  // (their storage is reused).
  void clear() {
    used_ = 0;
    appendedBytes_ = 0;
    prefixed_ = 0;
    indexed_ = 0;
    appendsInOrder_ = true;
    order_.clear();
    sortedCount_ = 0;
    arena_.clear();
  }

  // Stores copies of key and value, kept in the map's own storage until
  // clear(): inserts a new entry, or replaces the value of the entry
  // already there.
  void set(std::string_view key, std::string_view value) {
    setView(arena_.copy(key), arena_.copy(value));
  }

  // Stores key and value as views: the caller keeps their bytes alive and
  // unchanged until the map is cleared or the entry replaced. The reader
  // stores views into its input this way, and translation views into the
  // source map, so that no byte is copied.
  void setView(std::string_view key, std::string_view value);

  // Stores key and value as views, as setView() does, for a caller that
  // knows key to be greater than each key of the map: nothing is compared
  // (unless appendView() added keys since the map was last read).
  void appendInOrder(std::string_view key, std::string_view value) {
    if (used_ == slots_) grow();
    entries_[used_++] = Field{key, value};
    appendedBytes_ += key.size() + value.size();
  }

  // appendInOrder() for each entry of source that which names, in the
  // order it names them.
  void appendInOrder(std::span<const Field> source,
                     std::span<const std::int32_t> which) {
    while (used_ + which.size() > slots_) grow();
    for (const std::int32_t index : which) {
      const Field& field = source[static_cast<std::size_t>(index)];
      entries_[used_++] = field;
      appendedBytes_ += field.key.size() + field.value.size();
    }
  }

  // Stores key and value as views, as setView() does, but without keeping
  // track of key order as it goes: for a map filled in any order and read
  // by key rarely or never (the reader's header lines, the comments). The
  // map is put in order, and the prefixes of the keys taken, when it is
  // next read by key.
  void appendView(std::string_view key, std::string_view value) {
    if (used_ == slots_) grow();
    entries_[used_++] = Field{key, value};
    appendsInOrder_ = false;
  }

  // The value set last under key, found by looking at the entries in the
  // order they were set, without putting the map in key order; nullptr
  // when the key is absent. For a few lookups in a map read no other way.
  const std::string_view* findLast(std::string_view key) const {
    for (std::size_t i = used_; i-- > 0;) {
      if (entries_[i].key == key) return &entries_[i].value;
    }
    return nullptr;
  }

  // A copy of text in the map's own storage, valid until clear(): for a
  // value that a rule builds, to be stored with setView().
  std::string_view keep(std::string_view text) { return arena_.copy(text); }

  // The value stored under key, or nullptr when the key is absent. The
  // pointer stays valid until the next set(), setView() or clear().
  const std::string_view* find(std::string_view key) const;

  bool contains(std::string_view key) const { return find(key) != nullptr; }
  std::size_t size() const {
    putInOrder();
    return order_.size();
  }
  bool empty() const { return used_ == 0; }
  const_iterator begin() const {
    putInOrder();
    return const_iterator(entries_.data(), order_.data());
  }
  const_iterator end() const {
    putInOrder();
    return const_iterator(entries_.data(), order_.data() + order_.size());
  }

  // Visits the entries in the order they were set, without putting them in
  // key order: a key set more than once may come more than once, and then
  // its last value is the one the map holds. Cheaper than key order, for a
  // reader that keeps the fields as they came.
  template <typename Visit>
  void forEachAsSet(Visit visit) const {
    for (std::size_t i = 0; i < used_; ++i) visit(entries_[i]);
  }
  // Visits the entries in key order, as iteration does; without indexing
  // them when only appendInOrder() stored them.
  template <typename Visit>
  void forEachInKeyOrder(Visit visit) const {
    if (storedInOrder()) {
      for (std::size_t i = 0; i < used_; ++i) visit(entries_[i]);
      return;
    }
    for (const Field& field : *this) visit(field);
  }
  // The sizes of the keys and values in key order, perEntry more for each
  // entry: the size of the text a writer makes of them. Without visiting
  // them when only appendInOrder() stored them.
  std::size_t textSize(std::size_t perEntry) const {
    if (storedInOrder()) return appendedBytes_ + perEntry * used_;
    std::size_t size = 0;
    for (const Field& field : *this) {
      size += field.key.size() + field.value.size() + perEntry;
    }
    return size;
  }
  // The same entries, in the same order, as a span.
  std::span<const Field> entriesAsSet() const {
    return {entries_.data(), used_};
  }

 private:
  static std::uint64_t keyPrefix(std::string_view key) {
    return field_map_detail::keyPrefix(key);
  }

  // Whether only appendInOrder() stored the entries since clear(), so that
  // they stand in key order as stored, none indexed yet.
  bool storedInOrder() const { return indexed_ == 0 && appendsInOrder_; }

  // Sorts the entries set since the map was last read and merges them into
  // those already in order, so that reading between writes stays cheap;
  // then keeps only the last of each run of equal keys.
  void putInOrder() const {
    takeAppends();
    if (sortedCount_ != order_.size()) sortPending();
  }
  // Indexes the entries appended since the index was last brought up to
  // date: they follow those in order when only appendInOrder() added them.
  void takeAppends() const {
    if (indexed_ != used_) indexAppends();
  }
  void indexAppends() const;
  // Takes the prefixes of the keys appended since they were last taken.
  void takePrefixes() const {
    if (prefixed_ != used_) takePendingPrefixes();
  }
  void takePendingPrefixes() const;

  // Makes room for one more entry (in field_map.cc, out of the way of the
  // loops that append).
  void grow();

  // Stores a key that sorts before the last one of a small map in order,
  // at its place, or replaces the value of that key (in field_map.cc).
  void insertInOrder(std::string_view key, std::string_view value,
                     std::uint64_t prefix);

  // The sorting itself, and its parts (in field_map.cc).
  void sortPending() const;
  bool before(std::size_t a, std::size_t b) const;
  void keepLastOfEachKey(bool allNew) const;
  bool followsLastOrder() const;

  static constexpr std::size_t kInsertionSortLimit = 32;
  static constexpr std::size_t kLinearFindLimit = 24;

  TextArena arena_;                      // copies made by set() and keep()
  std::vector<Field> entries_;           // [0, used_) set since clear()
  std::size_t slots_ = 0;                // entries_.size(), kept at hand
  // keyPrefix of each entry, [0, prefixed_) taken: appendView leaves them
  // to the first reading by key.
  mutable std::vector<std::uint64_t> prefixes_;
  mutable std::size_t prefixed_ = 0;
  std::size_t used_ = 0;
  std::size_t appendedBytes_ = 0;  // of appendInOrder() since clear()
  // Reading sorts the index, so it is mutable: the contents do not change.
  mutable std::vector<std::size_t> order_;  // entries in key order
  // Entries [indexed_, used_) are not in order_ yet; appendsInOrder_ when
  // they came from appendInOrder() alone.
  mutable std::size_t indexed_ = 0;
  mutable bool appendsInOrder_ = true;
  // order_[0, sortedCount_) is sorted with unique keys; the rest was set
  // since and is put in order when the map is next read.
  mutable std::size_t sortedCount_ = 0;
  // For each number of entries n up to kInsertionSortLimit, the key order
  // last found by sorting a map of n entries all set since it was cleared,
  // with no key repeated: a permutation of [0, n).
  mutable std::vector<std::vector<std::size_t>> lastOrders_;
};

}  // namespace mspforge
