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

// The bytes past a chunk's nominal end that are read before it is cut, so
// that the "BEGIN IONS" line that ends it is usually among them.
constexpr std::size_t kLookAhead = std::size_t{64} << 10;

}  // namespace

ChunkReader::ChunkReader(MgfInput& input, std::size_t chunkBytes)
    : input_(input), chunkBytes_(std::max<std::size_t>(chunkBytes, 1)) {
  // Room for a chunk and what follows it, read in big blocks.
  input_.blockSize = std::max(input_.blockSize, 2 * chunkBytes_ + kLookAhead);
}

std::size_t ChunkReader::findCut() const {
  const char* const data = input_.data;
  const std::size_t end = input_.end;
  // A line starts after an LF; the first byte a cut may fall on.
  std::size_t at = input_.begin + chunkBytes_;
  while (at < end) {
    const void* b = std::memchr(data + at, 'B', end - at);
    if (b == nullptr) break;
    at = static_cast<std::size_t>(static_cast<const char*>(b) - data);
    if (data[at - 1] == '\n') {
      if (end - at < kBeginIons.size()) break;  // the rest of it may come
      if (std::memcmp(data + at, kBeginIons.data(), kBeginIons.size()) == 0) {
        return at;
      }
    }
    ++at;
  }
  return input_.atEnd ? end : kNone;
}

bool ChunkReader::lastLineIsJunk() {
  const char* const data = input_.data;
  const std::size_t end = input_.end;
  std::size_t at = input_.begin + walked_;
  for (;;) {
    const void* lf = std::memchr(data + at, '\n', end - at);
    const std::string_view line(
        data + at, (lf == nullptr ? data + end : static_cast<const char*>(lf)) -
                       (data + at));
    if (line.starts_with(kBeginIons)) {
      inside_ = true;
    } else if (inside_ && line.starts_with(kEndIons) &&
               line.find('=') == std::string_view::npos) {
      inside_ = false;
    }
    if (lf == nullptr) {
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
    while (!input_.atEnd &&
           input_.end - input_.begin < chunkBytes_ + kLookAhead) {
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
      const std::size_t pending = input_.end - input_.begin;
      if (pending >= 2 * chunkBytes_ + kLookAhead && lastLineIsJunk()) {
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
    const std::string_view bytes(input_.data + input_.begin,
                                 cut - input_.begin);
    chunk.input = mgfInputFromText(bytes);
    chunk.linesSkipped = skipped_;
    skipped_ = 0;
    input_.begin = cut;
    walked_ = 0;
    inside_ = false;
    chunk.sourceEnd = inputPosition(input_);
    return true;
  }
}

}  // namespace mspforge
