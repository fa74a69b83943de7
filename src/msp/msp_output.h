// Appending to MspOutput (see mspforge/streams.h): bytes gather in one
// large buffer and reach the operating system in big writes.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "mspforge/streams.h"

namespace mspforge {

// Pieces this large (a spectrum serialised into one line) skip the buffer
// of an output to a descriptor, so that memory does not hold a second copy
// of them.
inline constexpr std::size_t kDirectWriteSize = std::size_t{1} << 20;

// Writes what is buffered, then bytes, straight to the descriptor.
void writeThrough(MspOutput& output, std::string_view bytes);

inline void put(MspOutput& output, std::string_view bytes) {
  if (bytes.size() >= kDirectWriteSize && output.fd >= 0) {
    writeThrough(output, bytes);
    return;
  }
  output.text.append(bytes);
}
inline void put(MspOutput& output, char byte) { output.text.push_back(byte); }

// Writes the buffered bytes once enough of them have gathered.
void flushIfFull(MspOutput& output);

// Hands what is buffered to the writer thread without waiting for it (a
// plain flush where there is none).
void flushSoon(MspOutput& output);

}  // namespace mspforge
