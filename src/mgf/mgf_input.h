// The input side of a conversion: MGF bytes, delivered one line at a time.
//
// Lines are read whole, however long: the buffer grows to hold the longest
// line met, so memory is bounded by that line, not by the file. Two things
// that text-mode reading does on Windows are done here on every platform,
// so that an MGF file reads the same wherever it was written:
//   - a CR LF pair reads as a single LF (a CR not followed by LF is an
//     ordinary byte), so no CR reaches a key, a value or a peak line;
//   - a 0x1A byte (Ctrl-Z, an old end-of-file marker that some Windows
//     tools still append) ends the input; nothing after it is read.
// Every other byte, NUL included, is delivered as it is.
#pragma once

#include <cstddef>
#include <string_view>
#include <vector>

namespace mspforge {

struct MgfInput {
  int fd = -1;              // source descriptor; -1 for an in-memory input
  std::vector<char> buffer;
  std::size_t begin = 0;    // first byte not yet delivered
  std::size_t end = 0;      // one past the last byte read into buffer
  bool atEnd = false;       // nothing more will be read into buffer
  bool failed = false;      // a read error ended the input early
};

// An input that reads the open descriptor fd, which it does not own.
MgfInput mgfInputFromFd(int fd);

// An input over a copy of bytes, for conversions in memory.
MgfInput mgfInputFromBytes(std::string_view bytes);

// Delivers the next line, its LF included (the last line of an input
// without a final line end has none). The view stays valid until the next
// call. Returns false at the end of the input, and also on a read error,
// after which input.failed is true: callers must tell the two apart.
bool readLine(MgfInput& input, std::string_view& line);

}  // namespace mspforge
