// A conversion on several cores. One thread reads the input (a file, a
// pipe, standard input, gzip) and cuts it into chunks at lines that begin
// with "BEGIN IONS", which always begin a record; workers convert the
// chunks side by side, and their MSP text is written in input order: the
// one-thread output byte for byte, whatever the input.
//
// Outside a record only whether a line begins with "BEGIN IONS" matters:
// a long line there that does not is passed over without being kept, so
// memory stays within a few chunks whatever lies between records. Inside a
// record a line is kept whole, however long.
#pragma once

#include <cstddef>
#include <cstdint>

#include "mspforge/mspforge.h"

namespace mspforge {

// The chunk size when none is asked for.
inline constexpr std::size_t kDefaultChunkBytes = std::size_t{1} << 20;

// Converts input onto output on `threads` converting threads, chunkBytes
// at a time, with the result, tally and bytes of convertRecords on the
// whole input. options.onRecord is not called (the records of a chunk are
// not converted in input order); options.progress is kept up to date chunk
// by chunk. A read failure ends the conversion after the chunks before it,
// with input.failed set as convertRecords leaves it.
ConversionResult convertInChunks(MgfInput& input, MspOutput& output,
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
