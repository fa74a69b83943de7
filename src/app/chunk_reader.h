// Cuts an input into chunks that convert on their own: each but the first
// starts at a line that begins with "BEGIN IONS", which always begins a
// record, so no record of a chunk runs on into the next.
#pragma once

#include <cstddef>
#include <cstdint>

#include "mspforge/mspforge.h"

namespace mspforge {

struct InputChunk {
  MgfInput input;                  // its bytes, an input of their own
  std::uint64_t linesSkipped = 0;  // long lines between records passed
                                   // over just before it
  std::uint64_t sourceEnd = 0;     // where the input stood after it, in
                                   // its source's bytes, for progress
};

class ChunkReader {
 public:
  // Reads input, which must outlive the reader, chunkBytes or a little
  // more at a time.
  ChunkReader(MgfInput& input, std::size_t chunkBytes);

  // The next chunk; false when the input is exhausted or failed (then
  // input.failed and input.failure tell why).
  bool next(InputChunk& chunk);

 private:
  // The start of a line that begins with "BEGIN IONS", chunkBytes or more
  // past the bytes at hand's start; the end of the input when it has
  // ended; npos when the bytes at hand hold none yet.
  std::size_t findCut() const;

  // Follows the lines from walked_ on, noting whether they stand inside a
  // record; true when the line at the end of the bytes at hand, which has
  // no line end yet, lies outside any record and begins no record.
  bool lastLineIsJunk();

  MgfInput& input_;
  std::size_t chunkBytes_;
  std::size_t walked_ = 0;     // lines before begin + walked_ were followed
  bool inside_ = false;        // ... and ended inside a record
  std::uint64_t skipped_ = 0;  // lines passed over since the last chunk
};

}  // namespace mspforge
