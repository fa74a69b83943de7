#include "mgf/mgf_input.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <utility>

#include "mgf/input_text.h"
#include "mgf/mgf_signature.h"
#include "platform/platform_io.h"

namespace mspforge {
namespace {

static_assert(InputBuffer::kAlignment == kScanBlock);

// Ends the input as a read error, saying why.
void failWith(MgfInput& input, int error, std::string_view why) {
  input.failed = true;
  input.error = error;
  input.failure.assign(why);
}

std::size_t usableSize(const MgfInput& input) {
  return input.buffer.capacity();
}

// Zeroes the block after the bytes at hand, which the line scanner reads
// without using (the bytes it would leave undefined are never written).
void padAfterEnd(MgfInput& input) {
  if (input.data != nullptr) std::memset(input.data + input.end, 0, kScanBlock);
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
  }
}

// Moves the kept bytes to the front of the buffer, makes room, and reads
// until the buffer is full or the input ends.
void refillBuffer(MgfInput& input, std::size_t& keep) {
  const std::size_t kept = input.end - keep;
  const std::size_t usable = usableSize(input);
  const std::size_t block = input.blockSize;
  // The buffer grows only for a record larger than half of it, and goes
  // back to a block when nothing is kept (after a long line passed over).
  if (kept == 0 && usable > block && block != 0) {
    input.buffer = InputBuffer(block);
  } else if (usable - std::min(kept, usable) < block / 2 + 1) {
    InputBuffer larger(usable < block ? block : usable * 2);
    if (kept > 0) std::memcpy(larger.data(), input.data + keep, kept);
    input.buffer = std::move(larger);
  } else if (kept > 0 && input.data + keep != input.buffer.data()) {
    std::memmove(input.buffer.data(), input.data + keep, kept);
  }
  input.data = input.buffer.data();
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
      if (n == 0 && input.regularFile &&
          input.bytesTaken < input.expectedBytes) {
        // The file ended before the bytes it held when it was opened.
        failWith(input, 0, kCutShort);
      }
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
    settleNewBytes(input, from);
    if (input.atEnd) break;
  }
  padAfterEnd(input);
}

}  // namespace

MgfInput mgfInputFromFd(int fd) {
  MgfInput input;
  input.fd = fd;
  std::uint64_t size = 0;
  if (platform::regularFileSizeOf(fd, size)) {
    const std::uint64_t position = platform::filePosition(fd);
    input.regularFile = true;
    input.expectedBytes = size > position ? size - position : 0;
  }
  return input;
}

namespace {

// An input over the first size bytes of buffer, cut at a 0x1A; nothing
// more will come.
MgfInput inputOverBuffer(InputBuffer buffer, std::size_t size) {
  MgfInput input;
  input.buffer = std::move(buffer);
  input.data = input.buffer.data();
  input.end = size;
  input.atEnd = true;
  stopAtEndOfFileMark(input, 0);
  padAfterEnd(input);
  return input;
}


}  // namespace

bool skipToNextLine(MgfInput& input) {
  for (;;) {
    if (input.data != nullptr && input.begin < input.end) {
      const char* from = input.data + input.begin;
      const void* lf = std::memchr(from, '\n', input.end - input.begin);
      if (lf != nullptr) {
        input.begin = static_cast<std::size_t>(
            static_cast<const char*>(lf) - input.data) + 1;
        input.scanFrom = static_cast<std::size_t>(-1);
        return true;
      }
    }
    if (input.atEnd || input.failed) {
      input.begin = input.end;
      input.scanFrom = static_cast<std::size_t>(-1);
      return false;
    }
    // Nothing of the line is kept: it may be longer than any buffer.
    std::size_t keep = input.end;
    moreInput(input, keep);
    input.begin = keep;
    if (input.starved) return false;
  }
}

MgfInput mgfInputFromBuffer(InputBuffer buffer, std::size_t size) {
  MgfInput input = inputOverBuffer(std::move(buffer), size);
  foldCrLf(input, 0);
  padAfterEnd(input);
  skipByteOrderMark(input);
  return input;
}

MgfInput mgfInputFromBytes(std::string_view bytes) {
  InputBuffer buffer(bytes.size());
  if (!bytes.empty()) std::memcpy(buffer.data(), bytes.data(), bytes.size());
  return mgfInputFromBuffer(std::move(buffer), bytes.size());
}

MgfInput takeBytesBefore(MgfInput& input, std::size_t cut,
                         InputBuffer& spare) {
  const std::size_t before = cut - input.begin;
  const std::size_t rest = input.end - cut;
  // Whichever bytes are copied go into spare, unless it is too small; a
  // new buffer is then made, of a whole block at least so that it serves
  // again, and spare is left as it was.
  const auto room = [&](std::size_t bytes) {
    if (spare.capacity() >= std::max(bytes + 1, input.blockSize)) {
      return std::exchange(spare, InputBuffer());
    }
    return InputBuffer(std::max(bytes + input.blockSize / 2 + 1,
                                input.blockSize));
  };
  MgfInput part;
  part.atEnd = true;
  part.startSeen = true;
  if (before < rest) {
    // Fewer bytes to copy this way round.
    part.buffer = room(before);
    part.data = part.buffer.data();
    if (before > 0) std::memcpy(part.data, input.data + input.begin, before);
    part.end = before;
    padAfterEnd(part);
    input.begin = cut;
    input.scanFrom = static_cast<std::size_t>(-1);
    return part;
  }
  part.data = input.data;
  part.begin = input.begin;
  part.end = cut;
  InputBuffer after = room(rest);
  if (rest > 0) std::memcpy(after.data(), input.data + cut, rest);
  part.buffer = std::exchange(input.buffer, std::move(after));
  input.data = input.buffer.data();
  input.begin = 0;
  input.end = rest;
  input.scanFrom = static_cast<std::size_t>(-1);
  padAfterEnd(input);
  return part;
}

MgfInput mgfInputFromText(std::string_view bytes) {
  MgfInput input;
  input.buffer = InputBuffer(bytes.size());
  input.data = input.buffer.data();
  if (!bytes.empty()) std::memcpy(input.data, bytes.data(), bytes.size());
  input.end = bytes.size();
  input.atEnd = true;
  input.startSeen = true;
  padAfterEnd(input);
  return input;
}

void moreInput(MgfInput& input, std::size_t& keep) {
  input.starved = false;
  if (input.atEnd) return;
  refillBuffer(input, keep);
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
