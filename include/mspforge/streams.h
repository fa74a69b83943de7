// The two ends of a conversion: MGF bytes in, MSP text out. Both work on
// an open file descriptor, which they do not own, or in memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace mspforge {

// The bytes of an MgfInput: a start aligned for the line scanner, which
// reads whole aligned 64-byte blocks, and a block of padding after the
// capacity, so that every block around the bytes lies inside. Not zeroed:
// only the bytes read are written (and the padding after them).
class InputBuffer {
 public:
  static constexpr std::size_t kAlignment = 64;

  InputBuffer() = default;
  explicit InputBuffer(std::size_t capacity)
      : storage_(new char[capacity + 2 * kAlignment]), capacity_(capacity) {
    const auto address = reinterpret_cast<std::uintptr_t>(storage_.get());
    start_ = storage_.get() +
             (kAlignment - address % kAlignment) % kAlignment;
  }

  char* data() const { return start_; }
  std::size_t capacity() const { return capacity_; }
  bool empty() const { return storage_ == nullptr; }

 private:
  std::unique_ptr<char[]> storage_;
  std::size_t capacity_ = 0;
  char* start_ = nullptr;
};

// MGF input, delivered line by line from a buffer of bytes.
//
// Files, pipes, terminals and devices are read alike, in large blocks into
// a buffer that is reused, so memory stays flat however large the input;
// lines are whole, however long: the buffer grows to hold the longest
// record. (A file is read, not mapped: the copy costs less than the page
// faults of a mapping, and a file cut short while it is read ends the input
// as a read error, never as a fault.) Two things that text-mode reading
// does on Windows are done here on every platform, so that an MGF file
// reads the same wherever it was written:
//   - a CR LF pair reads as a single LF (a CR not followed by LF is an
//     ordinary byte), so no CR reaches a key, a value or a peak line;
//   - a 0x1A byte (Ctrl-Z, an old end-of-file marker that some Windows
//     tools still append) ends the input; nothing after it is read.
// A UTF-8 byte-order mark (EF BB BF) at the very start of the input is
// skipped, so that it does not hide a first "BEGIN IONS" line; a mark
// anywhere else is three ordinary bytes.
// Every other byte, NUL included, is delivered as it is. The lines and the
// record views made from them stay valid until the buffer is refilled,
// which happens only inside readMgfRecord (or readLine).
struct MgfInput {
  char* data = nullptr;     // the bytes at hand: [begin, end) not delivered
  std::size_t begin = 0;    // first byte not yet delivered
  std::size_t end = 0;      // one past the last byte at hand
  std::string failure;      // when failed: why, in words

  // The line scanner's place: the 64-byte block at scanBlock, with a bit
  // for each LF and each "=" in it at or after scanFrom (the position of
  // begin that they were made for).
  const char* scanBlock = nullptr;
  std::uint64_t lfBits = 0;
  std::uint64_t equalsBits = 0;
  std::size_t scanFrom = static_cast<std::size_t>(-1);

  // Where the bytes come from. An input with a reader function takes its
  // bytes from it instead of from fd: it fills at most the given number of
  // bytes and returns how many, 0 at the end, -1 on an error, or
  // kNoBytesYet when the bytes that follow have not arrived yet (a stream
  // fed in pieces): the reader then stops, starved, and is called again.
  std::function<std::ptrdiff_t(char*, std::size_t)> reader;
  // Asked, when the reader returned -1, for error and failure.
  std::function<void(MgfInput&)> explainFailure;
  std::uint64_t bytesTaken = 0;  // bytes the reader or the descriptor gave
  // Where the input stands in its source, for a progress display: bytes
  // of the file read so far (compressed bytes for a compressed file).
  // Unset: bytesTaken.
  std::function<std::uint64_t()> sourcePosition;
  // Line numbers, counted by readMgfRecord: the lines read so far, and the
  // number of the "BEGIN IONS" line of the record it delivered last (or
  // that readNextMgfRecord found unfinished).
  std::uint64_t linesRead = 0;
  std::uint64_t recordLine = 0;
  // A "BEGIN IONS" line that ended an unfinished record and begins the
  // next: its position among the bytes at hand (which stay until the next
  // record is read), and its line number. None: -1.
  std::size_t pendingBegin = static_cast<std::size_t>(-1);
  std::uint64_t pendingLine = 0;
  std::size_t blockSize = std::size_t{1} << 20;  // least bytes per refill
  InputBuffer buffer;        // data points into it
  // A regular file: the bytes it held from where reading began, when it
  // was opened. Reading fewer before its end means it was cut short.
  std::uint64_t expectedBytes = 0;
  bool regularFile = false;

  int fd = -1;              // source descriptor; -1 for an in-memory input
  int error = 0;            // when failed: the system's error code (errno,
                            // or GetLastError() on Windows), 0 when the
                            // cause is not the system's
  bool atEnd = false;       // no bytes will follow those at hand
  bool endMarkSeen = false;  // a 0x1A byte ended the input
  bool failed = false;      // a read error ended the input early
  bool starved = false;     // the reader had no bytes yet; try again later
  bool startSeen = false;   // the start was looked at for a byte-order mark
  bool skippingLine = false;  // passing over a long line outside records,
                              // whose rest has not arrived yet
};

// An input that reads the open descriptor fd from its current position,
// in blocks. The descriptor must stay open while the input is used.
MgfInput mgfInputFromFd(int fd);

// An input over a copy of bytes.
MgfInput mgfInputFromBytes(std::string_view bytes);

// An input over the first size bytes held in buffer, which it takes: the
// same as mgfInputFromBytes over them, without the copy.
MgfInput mgfInputFromBuffer(InputBuffer buffer, std::size_t size);

// An input that takes its bytes from reader, in order, a block at a time
// (see MgfInput::reader): a stream of chunks from anywhere.
MgfInput mgfInputFromReader(
    std::function<std::ptrdiff_t(char*, std::size_t)> reader);

// What an MgfInput reader returns when its next bytes have not arrived.
inline constexpr std::ptrdiff_t kNoBytesYet = -2;

struct BackgroundWriter;  // the second thread of an MspOutput

// MSP output, gathered in one large buffer and written in big writes.
//
// The writer ends every line with LF. An output whose crlfLineEnds is set
// reaches its descriptor with every LF written as CR LF, as a text file on
// Windows has it; a CR already before an LF stays in front of the pair
// (CR CR LF), and no other byte changes.
struct MspOutput {
  std::string text;     // bytes not yet written (all of them when fd is -1)
  std::string translated;         // scratch for the CR LF translation
  // Writes happen on a second thread, so that the system calls overlap
  // the conversion; each flushAll() waits for them. Set by mspOutputToFd.
  std::shared_ptr<BackgroundWriter> writer;  // started on first use

  int fd = -1;          // destination descriptor; -1 keeps everything in text
  int error = 0;        // when failed: the system's error code, or 0
  bool failed = false;  // a write failed; the output is incomplete
  bool crlfLineEnds = false;      // write each LF as CR LF (fd outputs only)
  bool background = false;        // writes go to the writer thread
};

// An output that writes to the open descriptor fd, with the platform's
// text line ends: CR LF on Windows, LF elsewhere, from a second thread.
// Call flushAll() before closing it.
MspOutput mspOutputToFd(int fd);

// An output that keeps all its bytes in output.text.
MspOutput mspOutputToMemory();

// Writes every buffered byte to the descriptor and waits until they are
// written (nothing to do in memory). Returns false, and output.failed is
// then true, when a write failed, now or earlier (a full disk, a closed
// pipe, an I/O error).
bool flushAll(MspOutput& output);

}  // namespace mspforge
