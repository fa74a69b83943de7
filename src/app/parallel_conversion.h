// A conversion on several cores: the input is cut into chunks at record
// starts, the chunks are converted side by side, and their MSP text is
// written in input order, so that the output is the one-thread output byte
// for byte.
//
// A chunk is the records whose "BEGIN IONS" line starts in its byte range
// (a record that runs past the range belongs to the chunk where it
// begins). Each chunk is converted as if the reader stood searching at the
// first such line. That holds unless the chunk before ends inside a record
// (one whose "END IONS" is missing runs on into later records): then the
// chunk is converted again from where the chunk before really ended, so
// that any input, however damaged, converts as it does on one thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

#include "mspforge/mspforge.h"

namespace mspforge {

// An input that can be read from any offset.
struct ChunkedInput {
  std::uint64_t start = 0;  // where the input begins
  std::uint64_t end = 0;    // where it ends
  // An input reading from offset on, with offsets of the whole input
  // (MgfInput::windowOffset); atStart when offset is start, where a
  // byte-order mark is skipped.
  std::function<MgfInput(std::uint64_t offset, bool atStart)> open;
  // Told of the chunk input whose read failed, for its error and reason.
  std::function<void(const MgfInput& failed)> onReadFailure;
};

// The chunk size when none is asked for.
inline constexpr std::size_t kDefaultChunkBytes = std::size_t{1} << 20;

// Converts input onto output on `threads` threads (on this one alone, chunk
// after chunk, for 1), chunkBytes at a time,
// with the result, tally and bytes of convertRecords on the whole input.
// options.onRecord is not called (the records of a chunk are not counted
// in input order); options.progress is kept up to date chunk by chunk.
ConversionResult convertInChunks(const ChunkedInput& input, MspOutput& output,
                                 ConversionTally& tally,
                                 const ConversionOptions& options,
                                 std::size_t chunkBytes, unsigned threads);

// The chunked conversion of mgf in memory, for comparing it with the
// whole one: the MSP text is appended to msp.
ConversionResult convertBytesInChunks(std::string_view mgf, std::string& msp,
                                      ConversionTally& tally,
                                      std::size_t chunkBytes,
                                      unsigned threads);

}  // namespace mspforge
