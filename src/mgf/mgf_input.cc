#include "mgf/mgf_input.h"

#include <cstring>

#include "platform/platform_io.h"

namespace mspforge {
namespace {

// Large blocks keep the number of read() calls low; the buffer only grows
// beyond this for a line longer than it.
constexpr std::size_t kBlockSize = std::size_t{1} << 20;

constexpr char kEndOfFileMark = 0x1A;

std::size_t usableSize(const MgfInput& input) {
  return input.buffer.size() < kPadding ? 0 : input.buffer.size() - kPadding;
}

// Cuts the valid bytes at a 0x1A among those from `from` on.
void stopAtEndOfFileMark(MgfInput& input, std::size_t from) {
  if (from == input.end) return;
  const void* mark =
      std::memchr(input.buffer.data() + from, kEndOfFileMark, input.end - from);
  if (mark != nullptr) {
    input.end = static_cast<std::size_t>(static_cast<const char*>(mark) -
                                         input.buffer.data());
    input.atEnd = true;
  }
}

// Moves the undelivered bytes to the front, makes room, and reads one more
// block. Afterwards either more bytes are there or input.atEnd is set.
void refill(MgfInput& input) {
  if (input.begin > 0 && input.end > input.begin) {
    std::memmove(input.buffer.data(), input.buffer.data() + input.begin,
                 input.end - input.begin);
  }
  input.end -= input.begin;
  input.begin = 0;
  const std::size_t usable = usableSize(input);
  if (usable - input.end < kBlockSize / 2) {
    input.buffer.resize((usable < kBlockSize ? kBlockSize : usable * 2) +
                        kPadding);
  }
  const std::ptrdiff_t n =
      platform::readSome(input.fd, input.buffer.data() + input.end,
                         usableSize(input) - input.end);
  if (n > 0) {
    const std::size_t from = input.end;
    input.end += static_cast<std::size_t>(n);
    stopAtEndOfFileMark(input, from);
    return;
  }
  input.atEnd = true;
  input.failed = n < 0;
}

}  // namespace

MgfInput mgfInputFromFd(int fd) {
  MgfInput input;
  input.fd = fd;
  return input;
}

MgfInput mgfInputFromBytes(std::string_view bytes) {
  MgfInput input;
  input.buffer.assign(bytes.begin(), bytes.end());
  input.end = input.buffer.size();
  input.buffer.resize(input.end + kPadding);
  input.atEnd = true;
  stopAtEndOfFileMark(input, 0);
  return input;
}

bool readLineSlowly(MgfInput& input, std::string_view& line,
                    std::size_t& equals) {
  std::size_t scanned = 0;  // bytes after begin known to hold no LF
  const char* equalsAt = nullptr;
  for (;;) {
    char* start = input.buffer.data() + input.begin;
    const std::size_t available = input.end - input.begin;
    const char* lf = nullptr;
    scanLine(start + scanned, start + available, &lf, &equalsAt);
    if (lf != nullptr) {
      takeLine(input, start, lf, equalsAt, line, equals);
      return true;
    }
    if (input.atEnd) {
      if (available == 0 || input.failed) return false;
      input.begin = input.end;
      line = std::string_view(start, available);
      equals = equalsAt == nullptr ? std::string_view::npos
                                   : static_cast<std::size_t>(equalsAt - start);
      return true;
    }
    // Positions found so far are kept relative to the line's start, which
    // refill may move.
    const std::size_t equalsOffset =
        equalsAt == nullptr ? 0 : static_cast<std::size_t>(equalsAt - start);
    const bool equalsFound = equalsAt != nullptr;
    scanned = available;
    refill(input);
    equalsAt = equalsFound ? input.buffer.data() + input.begin + equalsOffset
                           : nullptr;
  }
}

}  // namespace mspforge
