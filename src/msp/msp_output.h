// Appending to MspOutput (see mspforge/streams.h): bytes gather in one
// large buffer and reach the operating system in big writes.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "mspforge/streams.h"

namespace mspforge {

// Pieces this large (a spectrum serialised into one line) skip the buffer,
// so that memory does not hold a second copy of them.
inline constexpr std::size_t kDirectWriteSize = std::size_t{1} << 20;

// Writes what is buffered, then bytes, straight to the descriptor.
void writeThrough(MspOutput& output, std::string_view bytes);

// Keeps a copy of a piece too large for the text, as a span.
void holdPiece(MspOutput& output, std::string_view bytes);

inline void put(MspOutput& output, std::string_view bytes) {
  if (bytes.size() >= kDirectWriteSize) {
    if (output.fd >= 0) {
      writeThrough(output, bytes);
      return;
    }
    if (output.spansByReference) {
      holdPiece(output, bytes);
      return;
    }
  }
  output.text.append(bytes);
}
inline void put(MspOutput& output, char byte) { output.text.push_back(byte); }

// Bytes of the input, which stay valid until the input moves: written
// from where they are when the output takes spans by reference.
inline void putSpan(MspOutput& output, std::string_view bytes) {
  if (!output.spansByReference) {
    put(output, bytes);
    return;
  }
  output.spans.push_back({output.text.size(), bytes.data(), bytes.size()});
  output.spanBytes += bytes.size();
}

// Writes the buffered bytes once enough of them have gathered.
void flushIfFull(MspOutput& output);

// Hands what is buffered to the writer thread without waiting for it (a
// plain flush where there is none).
void flushSoon(MspOutput& output);

// Takes over a window of the input that spans already handed over may
// still point into, and releases it once they are written; false when the
// output has no writer thread (nothing of the window is pending then).
bool adoptInputWindow(MspOutput& output, void* window, std::size_t size);


}  // namespace mspforge
