// The two ends of a conversion: MGF bytes in, MSP text out. Both work on
// an open file descriptor, which they do not own, or in memory.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace mspforge {

// MGF input, read in large blocks and delivered line by line.
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
struct MgfInput {
  int fd = -1;            // source descriptor; -1 for an in-memory input
  std::vector<char> buffer;
  std::size_t begin = 0;  // first byte not yet delivered
  std::size_t end = 0;    // one past the last byte read into buffer
  bool atEnd = false;     // nothing more will be read into buffer
  bool failed = false;    // a read error ended the input early
};

// An input that reads the open descriptor fd from its current position.
// The descriptor must stay open while the input is used.
MgfInput mgfInputFromFd(int fd);

// An input over a copy of bytes.
MgfInput mgfInputFromBytes(std::string_view bytes);

// MSP output, gathered in one large buffer and written in big writes.
//
// The writer ends every line with LF. An output whose crlfLineEnds is set
// reaches its descriptor with every LF written as CR LF, as a text file on
// Windows has it; a CR already before an LF stays in front of the pair
// (CR CR LF), and no other byte changes.
struct MspOutput {
  int fd = -1;          // destination descriptor; -1 keeps everything in text
  std::string text;     // bytes not yet written (all of them when fd is -1)
  bool failed = false;  // a write failed; the output is incomplete
  bool crlfLineEnds = false;  // write each LF as CR LF (fd outputs only)
  std::string translated;     // scratch for the CR LF translation
};

// An output that writes to the open descriptor fd, with the platform's
// text line ends: CR LF on Windows, LF elsewhere. Call flushAll() before
// closing it.
MspOutput mspOutputToFd(int fd);

// An output that keeps all its bytes in output.text.
MspOutput mspOutputToMemory();

// Writes every buffered byte to the descriptor (nothing to do in memory).
// Returns false, and output.failed is then true, when a write failed, now
// or earlier (a full disk, a closed pipe, an I/O error).
bool flushAll(MspOutput& output);

}  // namespace mspforge
