// The containers that carry one spectrum record from the MGF reader through
// field translation to the MSP writer. The driver creates one of each for the
// whole run; every operation empties the containers it fills before filling
// them, so nothing of one record leaks into the next, and a container keeps
// its capacity from record to record.
#pragma once

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

namespace mspforge {

struct MgfInput;
class FieldMap;
class PeakLines;
bool readMgfRecord(MgfInput& input, FieldMap& sourceFields,
                   PeakLines& peakLines);

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
// Entries are appended to a vector in the order they are set, and an index
// vector gives their key order. set() only appends, so a record of any
// number of header lines in any order costs O(n log n), not O(n^2): the
// index is sorted, the last value stored under each key kept, when the map
// is next read. Sorting compares the first eight bytes of the keys as one
// integer and moves only indices, never strings. Each entry keeps its
// string buffers when the map is cleared, so a steady stream of records of
// similar shape allocates nothing. The map is not safe to read from two
// threads at once.
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

  // Removes every entry.
  void clear() {
    used_ = 0;
    order_.clear();
    sortedCount_ = 0;
  }

  // Stores value under key: inserts a new entry, or replaces the value of
  // the entry already there.
  void set(std::string_view key, std::string_view value) {
    const std::uint64_t prefix = keyPrefix(key);
    if (sortedCount_ == order_.size() && !order_.empty()) {
      // Still in order so far: compare the last key with the new one.
      const std::size_t last = order_.back();
      const std::uint64_t lastPrefix = prefixes_[last];
      int order;
      if (lastPrefix != prefix) {
        order = lastPrefix > prefix ? 1 : -1;
      } else {
        order = std::string_view(entries_[last].key).compare(key);
      }
      if (order == 0) {
        copyInto(entries_[last].value, value);
        return;
      }
      if (order < 0) ++sortedCount_;
    } else if (order_.empty()) {
      sortedCount_ = 1;
    }
    if (used_ == entries_.size()) {
      entries_.emplace_back();
      prefixes_.push_back(0);
    }
    copyInto(entries_[used_].key, key);
    copyInto(entries_[used_].value, value);
    prefixes_[used_] = prefix;
    order_.push_back(used_);
    ++used_;
  }

  // The value stored under key, or nullptr when the key is absent. The
  // pointer stays valid until the next set() or clear().
  const std::string* find(std::string_view key) const {
    putInOrder();
    std::size_t lo = 0, hi = order_.size();
    while (lo < hi) {
      std::size_t mid = lo + (hi - lo) / 2;
      if (std::string_view(entries_[order_[mid]].key) < key) {
        lo = mid + 1;
      } else {
        hi = mid;
      }
    }
    if (lo < order_.size() && entries_[order_[lo]].key == key) {
      return &entries_[order_[lo]].value;
    }
    return nullptr;
  }

  bool contains(std::string_view key) const { return find(key) != nullptr; }
  std::size_t size() const {
    putInOrder();
    return order_.size();
  }
  bool empty() const { return order_.empty(); }
  const_iterator begin() const {
    putInOrder();
    return const_iterator(entries_.data(), order_.data());
  }
  const_iterator end() const {
    putInOrder();
    return const_iterator(entries_.data(), order_.data() + order_.size());
  }

 private:
  // Replaces text's bytes with bytes. clear() and append() keep to the
  // short path of std::string where its buffer is large enough, which
  // assign() does not.
  static void copyInto(std::string& text, std::string_view bytes) {
    text.clear();
    text.append(bytes.data(), bytes.size());
  }

  // The first eight bytes of key, zero-padded, as a big-endian integer:
  // comparing two of them compares the keys' first eight bytes as unsigned
  // bytes. Equal prefixes leave the order to the whole keys.
  static std::uint64_t keyPrefix(std::string_view key) {
    if (key.size() >= 8 && std::endian::native == std::endian::little) {
      std::uint64_t word;
      std::memcpy(&word, key.data(), 8);
      return __builtin_bswap64(word);
    }
    std::uint64_t prefix = 0;
    const std::size_t n = key.size() < 8 ? key.size() : 8;
    for (std::size_t i = 0; i < 8; ++i) {
      prefix = (prefix << 8) |
               (i < n ? static_cast<unsigned char>(key[i]) : 0u);
    }
    return prefix;
  }

  // Key order as std::string orders it (char_traits<char> compares bytes
  // as unsigned char and puts a proper prefix first), then the order of
  // setting, so that the last entry of a run of equal keys is the latest.
  bool before(std::size_t a, std::size_t b) const {
    if (prefixes_[a] != prefixes_[b]) return prefixes_[a] < prefixes_[b];
    int order = entries_[a].key.compare(entries_[b].key);
    return order != 0 ? order < 0 : a < b;
  }

  // Sorts the entries set since the map was last read and merges them into
  // those already in order, so that reading between writes stays cheap;
  // then keeps only the last of each run of equal keys.
  void putInOrder() const {
    if (sortedCount_ == order_.size()) return;
    auto first = order_.begin();
    auto middle = first + static_cast<std::ptrdiff_t>(sortedCount_);
    auto last = order_.end();
    auto less = [this](std::size_t a, std::size_t b) {
      return before(a, b);
    };
    if (order_.size() <= kInsertionSortLimit) {
      // A record's header: insert each new entry into the sorted part.
      for (auto i = middle; i < last; ++i) {
        std::size_t moving = *i;
        auto j = i;
        for (; j > first && before(moving, *(j - 1)); --j) *j = *(j - 1);
        *j = moving;
      }
    } else {
      std::sort(middle, last, less);
      if (middle != first) std::inplace_merge(first, middle, last, less);
    }
    std::size_t kept = 0;
    for (std::size_t i = 0; i < order_.size(); ++i) {
      if (i + 1 < order_.size() &&
          prefixes_[order_[i]] == prefixes_[order_[i + 1]] &&
          entries_[order_[i]].key == entries_[order_[i + 1]].key) {
        continue;
      }
      order_[kept++] = order_[i];
    }
    order_.resize(kept);
    sortedCount_ = kept;
  }

  static constexpr std::size_t kInsertionSortLimit = 32;

  std::vector<Field> entries_;           // [0, used_) set since clear()
  std::vector<std::uint64_t> prefixes_;  // keyPrefix of each entry
  std::size_t used_ = 0;
  // Reading sorts the index, so it is mutable: the contents do not change.
  mutable std::vector<std::size_t> order_;  // entries in key order
  // order_[0, sortedCount_) is sorted with unique keys; the rest was set
  // since and is put in order when the map is next read.
  mutable std::size_t sortedCount_ = 0;
};

// One record's peak lines in input order, each the raw input line with the
// line feed that ended it (the last line of an input without a final line
// end has none). The lines are stored back to back in one buffer: bytes()
// is their concatenation, which is exactly what the MSP writer emits.
class PeakLines {
 public:
  void clear() {
    size_ = 0;
    ends_.clear();
  }
  // Appends one line. The buffer only ever grows, so after the first large
  // record this is a bounds check and a copy: the reader calls it for
  // nearly every line of an MGF file.
  void append(std::string_view line) {
    appendNoted(line);
    noteLine(line.size());
  }
  std::size_t size() const { return ends_.size(); }
  bool empty() const { return ends_.empty(); }
  std::string_view operator[](std::size_t i) const {
    std::size_t begin = i == 0 ? 0 : ends_[i - 1];
    return bytes().substr(begin, ends_[i] - begin);
  }
  std::string_view bytes() const {
    return std::string_view(bytes_.data(), size_);
  }

 private:
  // The MGF reader stores runs of adjacent peak lines with one copy: it
  // notes each line, then appends the run's bytes before the run's source
  // moves and before the record is delivered.
  friend bool readMgfRecord(MgfInput& input, FieldMap& sourceFields,
                            PeakLines& peakLines);
  void noteLine(std::size_t length) {
    ends_.push_back((ends_.empty() ? 0 : ends_.back()) + length);
  }
  void appendNoted(std::string_view run) {
    if (run.size() > bytes_.size() - size_) {
      bytes_.resize(std::max(bytes_.size() * 2, size_ + run.size()));
    }
    if (!run.empty()) std::memcpy(bytes_.data() + size_, run.data(), run.size());
    size_ += run.size();
  }

  std::vector<char> bytes_;  // [0, size_) in use
  std::size_t size_ = 0;
  std::vector<std::size_t> ends_;  // end offset of each line in bytes_
};

}  // namespace mspforge
