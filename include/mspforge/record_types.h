// The containers that carry one spectrum record from the MGF reader through
// field translation to the MSP writer. The driver creates one of each for the
// whole run; every operation empties the containers it fills before filling
// them, so nothing of one record leaks into the next, and a container keeps
// its capacity from record to record.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
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
// Entries live in a sorted vector. clear() only forgets the entries, so the
// strings of a cleared map keep their buffers and a steady stream of records
// of similar shape allocates nothing.
class FieldMap {
 public:
  using const_iterator = std::vector<Field>::const_iterator;

  // Removes every entry.
  void clear() { size_ = 0; }

  // Stores value under key: inserts a new entry, or replaces the value of
  // the entry already there.
  void set(std::string_view key, std::string_view value) {
    std::size_t at = lowerBound(key);
    if (at < size_ && entries_[at].key == key) {
      entries_[at].value.assign(value);
      return;
    }
    if (size_ == entries_.size()) entries_.emplace_back();
    // Reuse the spare slot at size_ and move it into place; swapping strings
    // moves no bytes and allocates nothing.
    for (std::size_t i = size_; i > at; --i) {
      entries_[i].key.swap(entries_[i - 1].key);
      entries_[i].value.swap(entries_[i - 1].value);
    }
    entries_[at].key.assign(key);
    entries_[at].value.assign(value);
    ++size_;
  }

  // The value stored under key, or nullptr when the key is absent. The
  // pointer stays valid until the next set() or clear().
  const std::string* find(std::string_view key) const {
    std::size_t at = lowerBound(key);
    if (at < size_ && entries_[at].key == key) return &entries_[at].value;
    return nullptr;
  }

  bool contains(std::string_view key) const { return find(key) != nullptr; }
  std::size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  const_iterator begin() const { return entries_.begin(); }
  const_iterator end() const {
    return entries_.begin() + static_cast<std::ptrdiff_t>(size_);
  }

 private:
  // The first position in [0, size_) whose key is not less than key.
  // std::string_view compares through char_traits<char>, which orders bytes
  // as unsigned char and puts a proper prefix first: the order wanted above.
  std::size_t lowerBound(std::string_view key) const {
    std::size_t lo = 0, hi = size_;
    // Translation fills its maps in key order: try the end first.
    if (hi > 0 && std::string_view(entries_[hi - 1].key) < key) return hi;
    while (lo < hi) {
      std::size_t mid = lo + (hi - lo) / 2;
      if (std::string_view(entries_[mid].key) < key) {
        lo = mid + 1;
      } else {
        hi = mid;
      }
    }
    return lo;
  }

  std::vector<Field> entries_;  // [0, size_) in use, sorted; the rest spare
  std::size_t size_ = 0;
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
