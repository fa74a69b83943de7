#include "mgf/mgf_input.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace mspforge {
namespace {

// Large blocks keep the number of read() calls low; the buffer only grows
// beyond this for a line longer than it.
constexpr std::size_t kBlockSize = std::size_t{1} << 20;

constexpr char kEndOfFileMark = 0x1A;

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
  if (input.buffer.size() - input.end < kBlockSize / 2) {
    input.buffer.resize(input.buffer.size() < kBlockSize
                            ? kBlockSize
                            : input.buffer.size() * 2);
  }
  for (;;) {
    ssize_t n = ::read(input.fd, input.buffer.data() + input.end,
                       input.buffer.size() - input.end);
    if (n > 0) {
      std::size_t from = input.end;
      input.end += static_cast<std::size_t>(n);
      stopAtEndOfFileMark(input, from);
      return;
    }
    if (n == 0) {
      input.atEnd = true;
      return;
    }
    if (errno != EINTR) {
      input.failed = true;
      input.atEnd = true;
      return;
    }
  }
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
  input.atEnd = true;
  stopAtEndOfFileMark(input, 0);
  return input;
}

bool readLine(MgfInput& input, std::string_view& line) {
  std::size_t scanned = 0;  // bytes after begin known to hold no LF
  for (;;) {
    char* start = input.buffer.data() + input.begin;
    std::size_t available = input.end - input.begin;
    char* lf = available == scanned
                   ? nullptr
                   : static_cast<char*>(std::memchr(start + scanned, '\n',
                                                    available - scanned));
    if (lf != nullptr) {
      std::size_t length = static_cast<std::size_t>(lf - start) + 1;
      input.begin += length;
      // CR LF reads as LF: move the LF onto the CR and drop the last byte.
      if (length >= 2 && lf[-1] == '\r') {
        lf[-1] = '\n';
        --length;
      }
      line = std::string_view(start, length);
      return true;
    }
    if (input.atEnd) {
      if (available == 0 || input.failed) return false;
      input.begin = input.end;
      line = std::string_view(start, available);
      return true;
    }
    scanned = available;
    refill(input);
  }
}

}  // namespace mspforge
