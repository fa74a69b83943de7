// The containers that carry one spectrum record from the MGF reader through
// field translation to the MSP writer. The driver creates one of each for the
// whole run; every operation empties the containers it fills before filling
// them, so nothing of one record leaks into the next, and a container keeps
// its capacity from record to record.
#pragma once

#include <algorithm>
#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace mspforge {

// The text of the MSP "Name:" line.
using CompoundName = std::string;

struct Field {
  std::string key;
  std::string value;
};

// An ordered map from key to value, keys unique, all texts byte strings.
//
// Iteration runs in ascending key order by unsigned byte comparison, a key
// that is a proper prefix of another coming first, with no case folding:
// "PrecursorMZ" comes before "Precursor_type" because 'M' (0x4D) is below
// '_' (0x5F). This order decides both which of several MGF keys wins a
// shared MSP key and the order in which the writer emits the fields.
//
// Entries live in a vector. set() appends, so a record of any number of
// header lines in any order costs O(n log n), not O(n^2): the vector is put
// in key order, keeping the last value stored under each key, only when
// the map is next read. Each entry keeps its string buffers when the map is
// cleared, so a steady stream of records of similar shape allocates
// nothing. The map is not safe to read from two threads at once.
class FieldMap {
 public:
  using const_iterator = std::vector<Field>::const_iterator;

  // Removes every entry.
  void clear() {
    size_ = 0;
    sorted_ = true;
  }

  // Stores value under key: inserts a new entry, or replaces the value of
  // the entry already there.
  void set(std::string_view key, std::string_view value) {
    if (sorted_ && size_ > 0) {
      int order = std::string_view(entries_[size_ - 1].key).compare(key);
      if (order == 0) {
        entries_[size_ - 1].value.assign(value);
        return;
      }
      if (order > 0) sorted_ = false;
    }
    if (size_ == entries_.size()) entries_.emplace_back();
    entries_[size_].key.assign(key);
    entries_[size_].value.assign(value);
    ++size_;
  }

  // The value stored under key, or nullptr when the key is absent. The
  // pointer stays valid until the next set() or clear().
  const std::string* find(std::string_view key) const {
    putInOrder();
    std::size_t lo = 0, hi = size_;
    while (lo < hi) {
      std::size_t mid = lo + (hi - lo) / 2;
      if (std::string_view(entries_[mid].key) < key) {
        lo = mid + 1;
      } else {
        hi = mid;
      }
    }
    if (lo < size_ && entries_[lo].key == key) return &entries_[lo].value;
    return nullptr;
  }

  bool contains(std::string_view key) const { return find(key) != nullptr; }
  std::size_t size() const {
    putInOrder();
    return size_;
  }
  bool empty() const { return size_ == 0; }
  const_iterator begin() const {
    putInOrder();
    return entries_.begin();
  }
  const_iterator end() const {
    putInOrder();
    return entries_.begin() + static_cast<std::ptrdiff_t>(size_);
  }

 private:
  // std::string compares through char_traits<char>, which orders bytes as
  // unsigned char and puts a proper prefix first: the order wanted above.
  static bool keyLess(const Field& a, const Field& b) { return a.key < b.key; }

  // Sorts [0, size_) by key, stably, then keeps only the last entry of each
  // run of equal keys: the value stored last wins.
  void putInOrder() const {
    if (sorted_) return;
    auto first = entries_.begin();
    auto last = first + static_cast<std::ptrdiff_t>(size_);
    if (size_ <= kInsertionSortLimit) {
      // Small maps, the usual record header: swaps move no bytes and
      // allocate nothing.
      for (auto i = first + 1; i < last; ++i) {
        for (auto j = i; j > first && keyLess(*j, *(j - 1)); --j) {
          std::swap(*j, *(j - 1));
        }
      }
    } else {
      std::stable_sort(first, last, keyLess);
    }
    std::size_t kept = 0;
    for (std::size_t i = 0; i < size_; ++i) {
      if (i + 1 < size_ && entries_[i].key == entries_[i + 1].key) continue;
      if (kept != i) std::swap(entries_[kept], entries_[i]);
      ++kept;
    }
    size_ = kept;
    sorted_ = true;
  }

  static constexpr std::size_t kInsertionSortLimit = 64;

  // [0, size_) in use, the rest spare. Reading may reorder the entries, so
  // they are mutable: the map's contents do not change.
  mutable std::vector<Field> entries_;
  mutable std::size_t size_ = 0;
  mutable bool sorted_ = true;  // [0, size_) in key order, keys unique
};

// One record's peak lines in input order, each the raw input line with the
// line feed that ended it (the last line of an input without a final line
// end has none). The lines are stored back to back in one buffer: bytes()
// is their concatenation, which is exactly what the MSP writer emits.
class PeakLines {
 public:
  void clear() {
    bytes_.clear();
    ends_.clear();
  }
  void append(std::string_view line) {
    bytes_.append(line);
    ends_.push_back(bytes_.size());
  }
  std::size_t size() const { return ends_.size(); }
  bool empty() const { return ends_.empty(); }
  std::string_view operator[](std::size_t i) const {
    std::size_t begin = i == 0 ? 0 : ends_[i - 1];
    return std::string_view(bytes_).substr(begin, ends_[i] - begin);
  }
  std::string_view bytes() const { return bytes_; }

 private:
  std::string bytes_;
  std::vector<std::size_t> ends_;  // end offset of each line in bytes_
};

}  // namespace mspforge
