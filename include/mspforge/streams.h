// The two ends of a conversion: MGF bytes in, MSP text out. Both work on
// an open file descriptor, which they do not own, or in memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <string_view>
#include <vector>

namespace mspforge {

// How much of a file is mapped at a time, at least.
inline constexpr std::size_t kDefaultWindowBytes = std::size_t{4} << 20;

// Releases a window that MgfInput::adoptWindow took over.
void releaseWindow(void* window, std::size_t size);

// One mapped window of an input file, unmapped when it goes.
class MappedWindow {
 public:
  MappedWindow() = default;
  MappedWindow(char* base, std::size_t size) : base_(base), size_(size) {}
  MappedWindow(MappedWindow&& other) noexcept
      : base_(std::exchange(other.base_, nullptr)),
        size_(std::exchange(other.size_, 0)) {}
  MappedWindow& operator=(MappedWindow&& other) noexcept {
    if (this != &other) {
      reset();
      base_ = std::exchange(other.base_, nullptr);
      size_ = std::exchange(other.size_, 0);
    }
    return *this;
  }
  ~MappedWindow() { reset(); }

  char* base() const { return base_; }
  std::size_t size() const { return size_; }
  // Unmaps the window.
  void reset() {
    if (base_ != nullptr) releaseWindow(base_, size_);
    base_ = nullptr;
    size_ = 0;
  }
  // Gives the window up without unmapping it: its taker releases it.
  void release() {
    base_ = nullptr;
    size_ = 0;
  }

 private:
  char* base_ = nullptr;
  std::size_t size_ = 0;
};

// MGF input, delivered line by line from a window of bytes.
//
// A regular file is mapped into memory a window at a time, and a window is
// released when the reader moves past it, so memory stays flat however
// large the file; pipes, terminals and devices are read in large blocks
// into a buffer. Either way lines are whole, however long: a window or the
// buffer grows to hold the longest record. Two things that text-mode
// reading does on Windows are done here on every platform, so that an MGF
// file reads the same wherever it was written:
//   - a CR LF pair reads as a single LF (a CR not followed by LF is an
//     ordinary byte), so no CR reaches a key, a value or a peak line;
//   - a 0x1A byte (Ctrl-Z, an old end-of-file marker that some Windows
//     tools still append) ends the input; nothing after it is read.
// A UTF-8 byte-order mark (EF BB BF) at the very start of the input is
// skipped, so that it does not hide a first "BEGIN IONS" line; a mark
// anywhere else is three ordinary bytes.
// Every other byte, NUL included, is delivered as it is. The lines and the
// record views made from them stay valid until the window moves, which
// happens only inside readMgfRecord (or readLine); beforeMove is called
// first, so that an output still pointing into the window can be written.
struct MgfInput {
  char* data = nullptr;     // the bytes at hand: [begin, end) not delivered
  std::size_t begin = 0;    // first byte not yet delivered
  std::size_t end = 0;      // one past the last byte at hand
  std::string failure;      // when failed: why, in words
  std::function<void()> beforeMove;  // called before the bytes move
  // Offered a mapped window that the input is done with; returning true
  // takes it over, to be released later with releaseWindow().
  std::function<bool(void* window, std::size_t size)> adoptWindow;

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
  // Unset: bytesTaken, or the mapping's position.
  std::function<std::uint64_t()> sourcePosition;
  // Line numbers, counted by readMgfRecord: the lines read so far, and the
  // number of the "BEGIN IONS" line of the record it delivered last (or
  // that readNextMgfRecord found unfinished), and that line's offset.
  std::uint64_t linesRead = 0;
  std::uint64_t recordLine = 0;
  std::uint64_t recordOffset = 0;
  // A "BEGIN IONS" line that ended an unfinished record and begins the
  // next: its position among the bytes at hand (which stay until the next
  // record is read), and its line number. None: -1.
  std::size_t pendingBegin = static_cast<std::size_t>(-1);
  std::uint64_t pendingLine = 0;
  // A part of a mapped or in-memory input converted on its own (a chunk
  // of a file converted in parallel): when readMgfRecord, searching for the
  // next record, comes to a line that starts at or past this offset, it
  // returns false there, with stoppedAtLimit set and the input standing
  // at that line. A record already begun is read to its end (its END IONS,
  // or the BEGIN IONS line that begins the next).
  std::uint64_t searchLimit = static_cast<std::uint64_t>(-1);
  std::size_t blockSize = std::size_t{1} << 20;  // least bytes per refill
  std::vector<char> buffer;  // read and in-memory inputs
  MappedWindow window;       // the mapping, when mapped
  std::size_t windowBytes = kDefaultWindowBytes;  // least bytes mapped
  std::uint64_t windowOffset = 0;  // offset of data[0] in the file (the
                                   // mapping's), or in the whole input
  std::uint64_t fileSize = 0;      // size of the file when mapped
  std::uint64_t markScanned = 0;   // file offset up to which no 0x1A was
                                   // found
  // Where the first line's text starts after a skipped mark; the line
  // itself starts at the mark, which is where searchLimit counts it.
  std::uint64_t afterMark = static_cast<std::uint64_t>(-1);

  int fd = -1;              // source descriptor; -1 for an in-memory input
  int error = 0;            // when failed: the system's error code (errno,
                            // or GetLastError() on Windows), 0 when the
                            // cause is not the system's
  bool atEnd = false;       // no bytes will follow those at hand
  bool failed = false;      // a read error ended the input early
  bool starved = false;     // the reader had no bytes yet; try again later
  bool stoppedAtLimit = false;  // readMgfRecord stopped at searchLimit
  bool mapped = false;       // a regular file, mapped a window at a time
  bool foldLinesInPlace = false;  // CR LF folded as lines are read (as in a
                                  // mapped window), not as bytes arrive
  bool startSeen = false;  // the start was looked at for a byte-order mark
};

// An input that reads the open descriptor fd from its current position:
// mapped when fd is a regular file, read in blocks otherwise. The
// descriptor must stay open while the input is used.
MgfInput mgfInputFromFd(int fd);

// An input over a copy of bytes.
MgfInput mgfInputFromBytes(std::string_view bytes);

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
//
// An output whose spansByReference is set takes the peak lines as spans of
// the input instead of copying them: they are written, between the pieces
// of text, with gathered writes straight from the input. The spans must
// then stay valid until the output is flushed; convertRecords arranges
// that by flushing before the input moves (MgfInput::beforeMove).
struct MspOutput {
  struct Span {
    std::size_t textOffset;  // the span goes out after text[0, textOffset)
    const char* bytes;
    std::size_t size;
  };

  std::string text;     // bytes not yet written (all of them when fd is -1)
  std::vector<Span> spans;        // input spans waiting to be written
  std::size_t spanBytes = 0;      // their total size
  // Pieces too large for the text (a spectrum serialised into one line)
  // of an output that writes no descriptor but keeps spans: each is one
  // copy, written as a span; kept until the output is cleared.
  std::vector<std::string> heldPieces;
  std::string translated;         // scratch for the CR LF translation
  // Writes happen on a second thread, so that the system calls overlap
  // the conversion; each flushAll() waits for them. Set by mspOutputToFd.
  std::shared_ptr<BackgroundWriter> writer;  // started on first use

  int fd = -1;          // destination descriptor; -1 keeps everything in text
  int error = 0;        // when failed: the system's error code, or 0
  bool failed = false;  // a write failed; the output is incomplete
  bool crlfLineEnds = false;      // write each LF as CR LF (fd outputs only)
  bool spansByReference = false;  // fd outputs without CR LF only
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
