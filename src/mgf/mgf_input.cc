#include "mgf/mgf_input.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <utility>

#include "mgf/mgf_signature.h"
#include "platform/platform_io.h"

namespace mspforge {
namespace {

// A mapped file is seen through a window of this size, moved forward as
// the reader goes: memory holds one window, whatever the file's size. A
// window grows only to hold a record larger than half of it.
constexpr std::size_t kWindowSize = std::size_t{4} << 20;
static_assert(kWindowSize == kDefaultWindowBytes);

// A buffer's bytes start at an address aligned to a scan block and are
// followed by a block of padding, so that every block the scanner reads
// lies inside the allocation.
constexpr std::size_t kPadding = kScanBlock;

constexpr char kEndOfFileMark = 0x1A;

constexpr std::string_view kCutShort =
    "the file was cut short or rewritten while it was read";

// Ends the input as a read error, saying why.
void failWith(MgfInput& input, int error, std::string_view why) {
  input.failed = true;
  input.error = error;
  input.failure.assign(why);
}

char* alignedStart(std::vector<char>& buffer) {
  const std::uintptr_t address =
      reinterpret_cast<std::uintptr_t>(buffer.data());
  return buffer.data() + ((kScanBlock - address % kScanBlock) % kScanBlock);
}

// A buffer whose aligned part holds at least size bytes, and the padding.
void allocate(std::vector<char>& buffer, std::size_t size) {
  buffer.assign(size + kScanBlock + kPadding, '\0');
}

std::size_t usableSize(MgfInput& input) {
  if (input.buffer.empty()) return 0;
  return input.buffer.size() -
         static_cast<std::size_t>(alignedStart(input.buffer) -
                                  input.buffer.data()) -
         kPadding;
}

// Cuts the bytes at hand at a 0x1A among those from `from` on.
void stopAtEndOfFileMark(MgfInput& input, std::size_t from) {
  if (from >= input.end) return;
  const void* mark =
      std::memchr(input.data + from, kEndOfFileMark, input.end - from);
  if (mark != nullptr) {
    input.end = static_cast<std::size_t>(static_cast<const char*>(mark) -
                                         input.data);
    input.atEnd = true;
  }
}

// Turns each CR LF pair among the bytes from `from` on into a lone LF,
// moving the bytes after it down, so that a buffer holds no CR LF pair and
// a line read twice (a record read again after a refill) reads the same.
// The pair may straddle the earlier bytes and the new ones.
void foldCrLf(MgfInput& input, std::size_t from) {
  std::size_t scan = from > 0 ? from - 1 : 0;
  char* const data = input.data;
  std::size_t write = scan;
  std::size_t read = scan;
  const std::size_t end = input.end;
  for (;;) {
    const void* cr = read < end ? std::memchr(data + read, '\r', end - read)
                                : nullptr;
    const std::size_t at =
        cr == nullptr ? end
                      : static_cast<std::size_t>(static_cast<const char*>(cr) -
                                                 data);
    // Keep [read, at) and, when a pair starts at `at`, its LF alone.
    if (write != read && at > read) {
      std::memmove(data + write, data + read, at - read);
    }
    write += at - read;
    if (cr == nullptr) break;
    if (at + 1 < end && data[at + 1] == '\n') {
      data[write++] = '\n';
      read = at + 2;
    } else {
      data[write++] = '\r';
      read = at + 1;
    }
  }
  input.end = write;
}

// Skips a byte-order mark at the start of the input, once the bytes at
// hand tell whether it is there. Until then no line has been taken: the
// bytes at hand are the start of the input, and too few to hold a line
// end (the mark holds none).
void skipByteOrderMark(MgfInput& input) {
  if (input.startSeen) return;
  const std::string_view start =
      input.data == nullptr
          ? std::string_view()
          : std::string_view(input.data + input.begin, input.end - input.begin);
  if (!input.atEnd && start.size() < kByteOrderMark.size() &&
      kByteOrderMark.starts_with(start)) {
    return;  // the rest of a mark may still come
  }
  input.startSeen = true;
  if (start.starts_with(kByteOrderMark)) {
    input.begin += kByteOrderMark.size();
    input.afterMark = input.windowOffset + input.begin;
  }
}

// Lets go of the window: handed to adoptWindow when someone still needs
// it (an output writing spans of it), else unmapped.
void unmapWindow(MgfInput& input) {
  MappedWindow& window = input.window;
  if (window.base() == nullptr) return;
  if (platform::mappingLostBytes(window.base())) failWith(input, 0, kCutShort);
  if (input.adoptWindow && input.adoptWindow(window.base(), window.size())) {
    window.release();
  } else {
    window.reset();
  }
}

// Maps the window that starts at the byte `keep` stands for, large enough
// for twice the kept bytes, and scans its new part for 0x1A.
void moveWindow(MgfInput& input, std::size_t& keep) {
  // A file that shrank since it was opened has lost bytes the reader was
  // promised: a read error, found before anything past its end is mapped.
  std::uint64_t sizeNow = 0;
  if (!platform::mappableFileSize(input.fd, sizeNow) ||
      sizeNow < input.fileSize) {
    unmapWindow(input);
    input.data = nullptr;
    input.begin = input.end = keep = 0;
    input.atEnd = true;
    failWith(input, 0, kCutShort);
    return;
  }
  const std::uint64_t keepOffset = input.windowOffset + keep;
  const std::uint64_t keptBytes = input.end - keep;
  const std::uint64_t alignment = platform::mappingAlignment();
  const std::uint64_t start = keepOffset - keepOffset % alignment;
  const std::uint64_t wanted =
      std::max<std::uint64_t>(input.windowBytes, 2 * (keepOffset - start + keptBytes));
  const std::size_t length =
      static_cast<std::size_t>(std::min(wanted, input.fileSize - start));
  unmapWindow(input);
  input.windowOffset = start;
  char* window = length == 0 ? nullptr
                             : platform::mapFile(input.fd, start, length);
  if (window == nullptr) {
    // Mapping failed (no address space left, say): nothing more to read.
    input.data = nullptr;
    input.begin = input.end = 0;
    keep = 0;
    input.atEnd = true;
    if (length != 0) {
      const int error = platform::lastError();
      // No address space left for a record this large: out of memory, as
      // when a buffer cannot grow.
      if (platform::isOutOfMemory(error)) throw std::bad_alloc();
      failWith(input, error, platform::errorText(error));
    }
    return;
  }
  input.window = MappedWindow(window, length);
  input.data = window;
  input.scanFrom = static_cast<std::size_t>(-1);
  keep = static_cast<std::size_t>(keepOffset - start);
  input.begin = keep;
  input.end = length;
  if (start + length == input.fileSize) input.atEnd = true;
  const std::size_t scanFrom =
      static_cast<std::size_t>(input.markScanned - start);
  stopAtEndOfFileMark(input, scanFrom);
  input.markScanned = start + input.end;
  if (input.atEnd && platform::mappingLostBytes(window)) {
    failWith(input, 0, kCutShort);
  }
}

// Moves the kept bytes to the front of the buffer, makes room, and reads
// until the buffer is full or the input ends.
void refillBuffer(MgfInput& input, std::size_t& keep) {
  const std::size_t kept = input.end - keep;
  const std::size_t usable = usableSize(input);
  const std::size_t block = input.blockSize;
  // The buffer grows only for a record larger than half of it.
  if (usable - std::min(kept, usable) < block / 2 + 1) {
    std::vector<char> larger;
    allocate(larger, usable < block ? block : usable * 2);
    if (kept > 0) std::memcpy(alignedStart(larger), input.data + keep, kept);
    input.buffer.swap(larger);
  } else if (kept > 0 && input.data + keep != alignedStart(input.buffer)) {
    std::memmove(alignedStart(input.buffer), input.data + keep, kept);
  }
  input.data = alignedStart(input.buffer);
  input.end = kept;
  keep = 0;
  input.begin = 0;
  input.scanFrom = static_cast<std::size_t>(-1);
  // Fill the buffer: a pipe gives a few kilobytes a read, and a record that
  // does not fit is parsed again after each refill.
  while (input.end < usableSize(input)) {
    char* into = input.data + input.end;
    const std::size_t room = usableSize(input) - input.end;
    const std::ptrdiff_t n = input.reader ? input.reader(into, room)
                                          : platform::readSome(input.fd, into,
                                                               room);
    if (n == kNoBytesYet) {
      input.starved = true;
      break;
    }
    if (n <= 0) {
      input.atEnd = true;
      if (n < 0) {
        // Asked at once, before anything else can change errno.
        const int error = input.reader ? 0 : platform::lastError();
        failWith(input, error,
                 input.reader ? "read error" : platform::errorText(error));
        if (input.reader && input.explainFailure) input.explainFailure(input);
      }
      break;
    }
    const std::size_t from = input.end;
    input.end += static_cast<std::size_t>(n);
    input.bytesTaken += static_cast<std::uint64_t>(n);
    stopAtEndOfFileMark(input, from);
    foldCrLf(input, from);
    if (input.atEnd) break;
  }
}

}  // namespace

void releaseWindow(void* window, std::size_t size) {
  platform::unmapFile(static_cast<char*>(window), size);
}

MgfInput mgfInputFromFd(int fd) {
  MgfInput input;
  input.fd = fd;
  std::uint64_t size = 0;
  if (platform::mappableFileSize(fd, size)) {
    // Mapped from where a read would have started.
    input = mgfInputFromFileAt(fd, size, platform::filePosition(fd), true);
  }
  return input;
}

MgfInput mgfInputFromFileAt(int fd, std::uint64_t fileSize,
                            std::uint64_t offset, bool atStart) {
  MgfInput input;
  input.fd = fd;
  input.mapped = true;
  input.fileSize = fileSize;
  input.windowOffset = offset;
  input.markScanned = offset;
  input.startSeen = !atStart;
  if (offset >= fileSize) input.atEnd = true;
  return input;
}

namespace {

// An input over a copy of bytes, cut at a 0x1A; nothing more will come.
MgfInput inputOverCopy(std::string_view bytes) {
  MgfInput input;
  allocate(input.buffer, bytes.size());
  input.data = alignedStart(input.buffer);
  if (!bytes.empty()) std::memcpy(input.data, bytes.data(), bytes.size());
  input.end = bytes.size();
  input.atEnd = true;
  stopAtEndOfFileMark(input, 0);
  return input;
}

}  // namespace

LineSkip skipToNextLine(MgfInput& input, std::uint64_t giveUpAt) {
  for (;;) {
    if (input.data != nullptr && input.begin < input.end) {
      const char* from = input.data + input.begin;
      const void* lf = std::memchr(from, '\n', input.end - input.begin);
      if (lf != nullptr) {
        const std::size_t next = static_cast<std::size_t>(
            static_cast<const char*>(lf) - input.data) + 1;
        if (input.windowOffset + next >= giveUpAt) return LineSkip::NoLineBefore;
        input.begin = next;
        input.scanFrom = static_cast<std::size_t>(-1);
        return LineSkip::AtLineStart;
      }
    }
    if (input.windowOffset + input.end >= giveUpAt) return LineSkip::NoLineBefore;
    if (input.atEnd || input.failed) return LineSkip::InputEnded;
    // Nothing of the line is kept: it may be longer than any window.
    std::size_t keep = input.end;
    moreInput(input, keep);
    input.begin = keep;
  }
}

MgfInput mgfInputFromBytes(std::string_view bytes) {
  MgfInput input = inputOverCopy(bytes);
  foldCrLf(input, 0);
  skipByteOrderMark(input);
  return input;
}

MgfInput mgfInputFromBytesAt(std::string_view bytes, std::uint64_t offset,
                             bool atStart) {
  MgfInput input = inputOverCopy(bytes);
  input.windowOffset = offset;
  input.startSeen = !atStart;
  // CR LF pairs are folded line by line as they are read, as in a mapped
  // window, so that every line starts at its offset in the whole input.
  input.foldLinesInPlace = true;
  skipByteOrderMark(input);
  return input;
}

void moreInput(MgfInput& input, std::size_t& keep) {
  input.starved = false;
  if (input.atEnd) return;
  if (input.beforeMove) input.beforeMove();
  if (input.mapped) {
    moveWindow(input, keep);
  } else {
    refillBuffer(input, keep);
  }
  skipByteOrderMark(input);
}

MgfInput mgfInputFromReader(
    std::function<std::ptrdiff_t(char*, std::size_t)> reader) {
  MgfInput input;
  input.reader = std::move(reader);
  return input;
}

bool takeLastLine(MgfInput& input, std::string_view& line,
                  std::size_t& equals) {
  // The file may have shrunk under the last window since it was mapped.
  if (input.window.base() != nullptr &&
      platform::mappingLostBytes(input.window.base())) {
    failWith(input, 0, kCutShort);
  }
  const std::size_t available = input.end - input.begin;
  if (available == 0 || input.failed) return false;
  char* start = input.data + input.begin;
  input.begin = input.end;
  line = std::string_view(start, available);
  equals = line.find('=');
  return true;
}

bool readLine(MgfInput& input, std::string_view& line, std::size_t& equals) {
  for (;;) {
    if (readWholeLine(input, line, equals)) return true;
    if (input.atEnd) return takeLastLine(input, line, equals);
    std::size_t keep = input.begin;
    moreInput(input, keep);
    if (input.starved) return false;
  }
}

}  // namespace mspforge
