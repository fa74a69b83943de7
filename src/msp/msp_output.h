// The output side of a conversion: MSP text gathered in one large buffer
// and handed to the operating system in big writes.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace mspforge {

struct MspOutput {
  int fd = -1;          // destination descriptor; -1 keeps everything in text
  std::string text;     // bytes not yet written (all of them when fd is -1)
  bool failed = false;  // a write failed; the output is incomplete
};

// An output that writes to the open descriptor fd, which it does not own.
MspOutput mspOutputToFd(int fd);

// An output that keeps all its bytes in output.text.
MspOutput mspOutputToMemory();

// Pieces this large (a spectrum serialised into one line) skip the buffer,
// so that memory does not hold a second copy of them.
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

// Writes every buffered byte. Returns false, and sets output.failed, when a
// write fails (a full disk, a closed pipe, an I/O error), now or earlier.
bool flushAll(MspOutput& output);

}  // namespace mspforge
