// TextArena, the storage that FieldMap and PeakLines keep their copies in
// (see mspforge/record_types.h for how long the copies live).
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <memory>
#include <string_view>
#include <vector>

namespace mspforge {

// Storage for copies of texts that never moves: texts are copied into
// chunks, and a chunk is never reallocated, so a view of a copy stays valid
// until clear(), which makes the chunks free for reuse.
class TextArena {
 public:
  TextArena() = default;
  TextArena(TextArena&&) noexcept = default;
  TextArena& operator=(TextArena&&) noexcept = default;

  std::string_view copy(std::string_view text) {
    if (text.empty()) return std::string_view();
    if (current_ >= chunks_.size() ||
        text.size() > sizes_[current_] - used_) {
      nextChunk(text.size());
    }
    char* at = chunks_[current_].get() + used_;
    std::memcpy(at, text.data(), text.size());
    used_ += text.size();
    return std::string_view(at, text.size());
  }

  void clear() {
    current_ = 0;
    used_ = 0;
  }

 private:
  // Moves on to a chunk with room for size bytes: the next one when it is
  // large enough, else a new one in its place (chunks past the current one
  // hold nothing in use).
  void nextChunk(std::size_t size) {
    if (current_ < chunks_.size()) ++current_;
    used_ = 0;
    if (current_ < chunks_.size() && sizes_[current_] >= size) return;
    const std::size_t last = sizes_.empty() ? 0 : sizes_.back();
    const std::size_t bytes = std::max({size, kFirstChunk, last * 2});
    if (current_ < chunks_.size()) {
      chunks_[current_] = std::make_unique<char[]>(bytes);
      sizes_[current_] = bytes;
    } else {
      chunks_.push_back(std::make_unique<char[]>(bytes));
      sizes_.push_back(bytes);
    }
  }

  static constexpr std::size_t kFirstChunk = 4096;

  std::vector<std::unique_ptr<char[]>> chunks_;
  std::vector<std::size_t> sizes_;
  std::size_t current_ = 0;  // chunk being filled
  std::size_t used_ = 0;     // bytes used in it
};

}  // namespace mspforge
