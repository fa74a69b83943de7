#include "app/chunk_reader.h"

#include <algorithm>
#include <cstring>

#include "app/record_loop.h"
#include "mgf/mgf_input.h"

namespace mspforge {
namespace {

constexpr std::string_view kBeginIons = "BEGIN IONS";
constexpr std::string_view kEndIons = "END IONS";
constexpr std::size_t kNone = static_cast<std::size_t>(-1);


// The last "BEGIN IONS" line of a buffer is looked for among its last
// bytes first: a record is rarely longer.
constexpr std::size_t kLookBack = std::size_t{64} << 10;

// The start of the last (or, with first set, the first) line at a position
// in [from, to) of data that begins with "BEGIN IONS" and lies whole
// before end; npos when there is none.
std::size_t recordStart(const char* data, std::size_t from, std::size_t to,
                        std::size_t end, bool first) {
  std::size_t found = kNone;
  for (std::size_t at = from; at < to;) {
    const void* b = std::memchr(data + at, 'B', to - at);
    if (b == nullptr) break;
    at = static_cast<std::size_t>(static_cast<const char*>(b) - data);
    if (data[at - 1] == '\n' && end - at >= kBeginIons.size() &&
        std::memcmp(data + at, kBeginIons.data(), kBeginIons.size()) == 0) {
      found = at;
      if (first) break;
    }
    ++at;
  }
  return found;
}

}  // namespace

ChunkReader::ChunkReader(MgfInput& input, std::size_t chunkBytes,
                         BufferPool& pool)
    : input_(input), chunkBytes_(std::max<std::size_t>(chunkBytes, 1)),
      pool_(pool) {
  input_.blockSize = chunkBytes_;
}

std::size_t ChunkReader::findCut() const {
  const char* const data = input_.data;
  const std::size_t end = input_.end;
  if (input_.atEnd && end - input_.begin <= chunkBytes_) return end;
  // The last record start a chunk's length on or before, looked for near
  // that length first; else the first one after it.
  const std::size_t first = input_.begin + 1;
  const std::size_t limit = std::min(end, input_.begin + chunkBytes_ + 1);
  if (first < limit) {
    const std::size_t near = limit - first > kLookBack ? limit - kLookBack : first;
    std::size_t cut = recordStart(data, near, limit, end, false);
    if (cut == kNone && near > first) {
      cut = recordStart(data, first, near, end, false);
    }
    if (cut != kNone) return cut;
  }
  const std::size_t cut =
      recordStart(data, std::max(first, limit), end, end, true);
  if (cut != kNone) return cut;
  return input_.atEnd ? end : kNone;
}

bool ChunkReader::lastLineIsJunk() {
  const char* const data = input_.data;
  const std::size_t end = input_.end;
  std::size_t at = input_.begin + walked_;
  for (;;) {
    const std::string_view rest(data + at, end - at);
    const std::size_t lf = rest.find('\n');
    const std::string_view line = rest.substr(0, lf);
    if (line.starts_with(kBeginIons)) {
      inside_ = true;
    } else if (inside_ && line.starts_with(kEndIons) &&
               line.find('=') == std::string_view::npos) {
      inside_ = false;
    }
    if (lf == std::string_view::npos) {
      // The line without a line end yet: its state is not settled, so the
      // walk goes on from its start next time.
      walked_ = at - input_.begin;
      return !inside_;
    }
    at += line.size() + 1;
  }
}

bool ChunkReader::next(InputChunk& chunk) {
  for (;;) {
    if (!input_.atEnd &&
        (input_.buffer.empty() || input_.end < input_.buffer.capacity())) {
      // Fill the buffer (a pipe may take several reads).
      std::size_t keep = input_.begin;
      moreInput(input_, keep);  // leaves input.begin at the bytes kept
    }
    if (input_.failed || (input_.atEnd && input_.begin >= input_.end)) {
      return false;
    }
    std::size_t cut = findCut();
    if (cut == kNone) {
      // No record starts in the bytes at hand. Between records, a long line
      // that begins none is passed over, not kept; the chunk before it goes.
      if (input_.end - input_.begin >= 2 * chunkBytes_ && lastLineIsJunk()) {
        cut = input_.begin + walked_;
      } else {
        // Inside a record, or not yet long: read on, keeping it all.
        std::size_t keep = input_.begin;
        moreInput(input_, keep);
        continue;
      }
      if (cut == input_.begin) {
        // The long line comes first: pass over it.
        ++skipped_;
        walked_ = 0;
        inside_ = false;
        if (!skipToNextLine(input_)) return false;
        continue;
      }
    }
    InputBuffer spare = pool_.take();
    chunk.input = takeBytesBefore(input_, cut, spare);
    if (!spare.empty()) pool_.give(std::move(spare));
    chunk.linesSkipped = skipped_;
    skipped_ = 0;
    walked_ = 0;
    inside_ = false;
    chunk.sourceEnd = inputPosition(input_);
    return true;
  }
}

}  // namespace mspforge
