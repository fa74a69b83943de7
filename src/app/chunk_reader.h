// Cuts an input into chunks that convert on their own: each but the first
// starts at a line that begins with "BEGIN IONS", which always begins a
// record, so no record of a chunk runs on into the next. A chunk's bytes
// are the reading buffer itself, handed over whole: only the bytes after
// the cut are copied, into the next buffer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <vector>

#include "mspforge/mspforge.h"

namespace mspforge {

struct InputChunk {
  MgfInput input;                  // its bytes, an input of their own
  std::uint64_t linesSkipped = 0;  // long lines between records passed
                                   // over just before it
  std::uint64_t sourceEnd = 0;     // where the input stood after it, in
                                   // its source's bytes, for progress
};

// The buffers of chunks written, for the reader to fill again.
class BufferPool {
 public:
  InputBuffer take() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (spare_.empty()) return InputBuffer();
    InputBuffer buffer = std::move(spare_.back());
    spare_.pop_back();
    return buffer;
  }
  void give(InputBuffer buffer) {
    std::lock_guard<std::mutex> lock(mutex_);
    spare_.push_back(std::move(buffer));
  }

 private:
  std::mutex mutex_;
  std::vector<InputBuffer> spare_;
};

class ChunkReader {
 public:
  // Reads input, which must outlive the reader, in buffers of chunkBytes
  // (more for a record that does not fit), taken from pool when it has
  // them.
  ChunkReader(MgfInput& input, std::size_t chunkBytes, BufferPool& pool);

  // The next chunk; false when the input is exhausted or failed (then
  // input.failed and input.failure tell why).
  bool next(InputChunk& chunk);

 private:
  // The start of the last line among the bytes at hand that begins with
  // "BEGIN IONS", after their first; the end of the input when it has
  // ended; npos when there is none yet.
  std::size_t findCut() const;

  // Follows the lines from walked_ on, noting whether they stand inside a
  // record; true when the line at the end of the bytes at hand, which has
  // no line end yet, lies outside any record and begins no record.
  bool lastLineIsJunk();

  MgfInput& input_;
  std::size_t chunkBytes_;
  BufferPool& pool_;
  std::size_t walked_ = 0;     // lines before begin + walked_ were followed
  bool inside_ = false;        // ... and ended inside a record
  std::uint64_t skipped_ = 0;  // lines passed over since the last chunk
};

}  // namespace mspforge
