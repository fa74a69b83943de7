#include "mspforge/field_map.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>

namespace mspforge {

// Key order as std::string orders it (char_traits<char> compares bytes
// as unsigned char and puts a proper prefix first), then the order of
// setting, so that the last entry of a run of equal keys is the latest.
bool FieldMap::before(std::size_t a, std::size_t b) const {
  if (prefixes_[a] != prefixes_[b]) return prefixes_[a] < prefixes_[b];
  int order = entries_[a].key.compare(entries_[b].key);
  return order != 0 ? order < 0 : a < b;
}

void FieldMap::setView(std::string_view key, std::string_view value) {
  takePrefixes();
  takeAppends();
  const std::uint64_t prefix = keyPrefix(key);
  if (sortedCount_ == order_.size() && !order_.empty()) {
    // Still in order so far: compare the last key with the new one.
    const std::size_t last = order_.back();
    const std::uint64_t lastPrefix = prefixes_[last];
    int order;
    if (lastPrefix != prefix) {
      order = lastPrefix > prefix ? 1 : -1;
    } else {
      order = entries_[last].key.compare(key);
    }
    if (order == 0) {
      entries_[last].value = value;
      return;
    }
    if (order > 0 && order_.size() <= kLinearFindLimit) {
      insertInOrder(key, value, prefix);
      return;
    }
    if (order < 0) ++sortedCount_;
  } else if (order_.empty()) {
    sortedCount_ = 1;
  }
  if (used_ == slots_) grow();
  entries_[used_] = Field{key, value};
  prefixes_[used_] = prefix;
  order_.push_back(used_);
  indexed_ = prefixed_ = ++used_;
}

const std::string_view* FieldMap::find(std::string_view key) const {
  if (used_ <= kLinearFindLimit) {
    // A record's few fields: the last one set under key is the value,
    // found without putting the map in order.
    takePrefixes();
    const std::uint64_t prefix = keyPrefix(key);
    for (std::size_t i = used_; i-- > 0;) {
      if (prefixes_[i] == prefix && entries_[i].key == key) {
        return &entries_[i].value;
      }
    }
    return nullptr;
  }
  putInOrder();
  std::size_t lo = 0, hi = order_.size();
  while (lo < hi) {
    std::size_t mid = lo + (hi - lo) / 2;
    if (entries_[order_[mid]].key < key) {
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

void FieldMap::grow() {
  slots_ = std::max<std::size_t>(16, 2 * slots_);
  entries_.resize(slots_);
  prefixes_.resize(slots_);
  order_.reserve(slots_);
}

void FieldMap::insertInOrder(std::string_view key, std::string_view value,
                             std::uint64_t prefix) {
  std::size_t at = order_.size();
  for (; at > 0; --at) {
    const std::size_t before = order_[at - 1];
    if (prefixes_[before] < prefix) break;
    if (prefixes_[before] == prefix) {
      const int order = entries_[before].key.compare(key);
      if (order == 0) {
        entries_[before].value = value;
        return;
      }
      if (order < 0) break;
    }
  }
  if (used_ == slots_) grow();
  entries_[used_] = Field{key, value};
  prefixes_[used_] = prefix;
  order_.insert(order_.begin() + static_cast<std::ptrdiff_t>(at), used_);
  indexed_ = prefixed_ = ++used_;
  ++sortedCount_;
}

void FieldMap::indexAppends() const {
  const bool inOrder = appendsInOrder_ && sortedCount_ == order_.size();
  for (; indexed_ < used_; ++indexed_) order_.push_back(indexed_);
  if (inOrder) sortedCount_ = order_.size();
  appendsInOrder_ = true;
}

void FieldMap::takePendingPrefixes() const {
  for (; prefixed_ < used_; ++prefixed_) {
    prefixes_[prefixed_] = keyPrefix(entries_[prefixed_].key);
  }
}

// Out of line, so that the frame of the sort is set up only when there is
// something to sort.
void FieldMap::sortPending() const {
  takePrefixes();
  const std::size_t n = order_.size();
  if (sortedCount_ == 0 && followsLastOrder()) return;
  const bool allNew = sortedCount_ == 0;
  if (n > kInsertionSortLimit) {
    auto less = [this](std::size_t a, std::size_t b) { return before(a, b); };
    auto first = order_.begin();
    auto middle = first + static_cast<std::ptrdiff_t>(sortedCount_);
    std::sort(middle, order_.end(), less);
    if (middle != first) std::inplace_merge(first, middle, order_.end(), less);
    keepLastOfEachKey(allNew);
    return;
  }
  // A record's header: each new entry is inserted into the sorted part,
  // the prefixes compared from a copy beside the indices.
  std::uint64_t keys[kInsertionSortLimit];
  for (std::size_t i = 0; i < n; ++i) keys[i] = prefixes_[order_[i]];
  for (std::size_t i = sortedCount_; i < n; ++i) {
    const std::size_t moving = order_[i];
    const std::uint64_t key = keys[i];
    std::size_t j = i;
    for (; j > 0 && (keys[j - 1] > key ||
                     (keys[j - 1] == key && before(moving, order_[j - 1])));
         --j) {
      keys[j] = keys[j - 1];
      order_[j] = order_[j - 1];
    }
    keys[j] = key;
    order_[j] = moving;
  }
  keepLastOfEachKey(allNew);
}

// Of each run of equal keys in the sorted index, keeps the last entry.
void FieldMap::keepLastOfEachKey(bool allNew) const {
  std::size_t kept = 0;
  for (std::size_t i = 0; i < order_.size(); ++i) {
    if (i + 1 < order_.size() &&
        prefixes_[order_[i]] == prefixes_[order_[i + 1]] &&
        entries_[order_[i]].key == entries_[order_[i + 1]].key) {
      continue;
    }
    order_[kept++] = order_[i];
  }
  if (allNew && kept == order_.size() && kept <= kInsertionSortLimit) {
    if (lastOrders_.empty()) lastOrders_.resize(kInsertionSortLimit + 1);
    lastOrders_[kept] = order_;
  }
  order_.resize(kept);
  sortedCount_ = kept;
}

// Records of one file mostly hold the same keys in the same order, so
// the order last found for a record of as many fields is tried first:
// when it puts this record's entries, all set since the map was cleared,
// in strictly ascending prefixes, it is their key order and their keys
// are unique.
bool FieldMap::followsLastOrder() const {
  const std::size_t n = order_.size();
  if (n >= lastOrders_.size()) return false;
  const std::vector<std::size_t>& lastOrder = lastOrders_[n];
  if (n != lastOrder.size()) return false;
  for (std::size_t i = 1; i < n; ++i) {
    if (prefixes_[lastOrder[i - 1]] >= prefixes_[lastOrder[i]]) {
      return false;
    }
  }
  std::copy(lastOrder.begin(), lastOrder.end(), order_.begin());
  sortedCount_ = n;
  return true;
}

}  // namespace mspforge
