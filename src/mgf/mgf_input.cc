#include "mgf/mgf_input.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace mspforge {
namespace {

// Large blocks keep the number of read() calls low; the buffer only grows
// beyond this for a line longer than it.
constexpr std::size_t kBlockSize = std::size_t{1} << 20;

constexpr char kEndOfFileMark = 0x1A;

// The buffer always holds this many bytes past its usable part, so that the
// line scan may load 16 bytes from any position before input.end.
constexpr std::size_t kPadding = 16;

std::size_t usableSize(const MgfInput& input) {
  return input.buffer.size() < kPadding ? 0 : input.buffer.size() - kPadding;
}

// Finds the first LF in [from, end), and the first "=" before it unless
// *equals is already set. Sets *lf to nullptr when [from, end) holds no LF.
void scanLine(const char* from, const char* end, const char** lf,
              const char** equals) {
#if defined(__SSE2__)
  // Sixteen bytes at a time: one comparison each for LF and "=", and the
  // positions as bit masks. Bytes past end are padding and masked off.
  const __m128i newline = _mm_set1_epi8('\n');
  const __m128i equalsSign = _mm_set1_epi8('=');
  for (const char* p = from; p < end; p += 16) {
    const __m128i bytes =
        _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    unsigned lfBits = static_cast<unsigned>(
        _mm_movemask_epi8(_mm_cmpeq_epi8(bytes, newline)));
    unsigned equalsBits = static_cast<unsigned>(
        _mm_movemask_epi8(_mm_cmpeq_epi8(bytes, equalsSign)));
    const std::size_t left = static_cast<std::size_t>(end - p);
    if (left < 16) {
      const unsigned inside = (1u << left) - 1;
      lfBits &= inside;
      equalsBits &= inside;
    }
    if (lfBits != 0) {
      const int at = __builtin_ctz(lfBits);
      equalsBits &= (1u << at) - 1;
      if (*equals == nullptr && equalsBits != 0) {
        *equals = p + __builtin_ctz(equalsBits);
      }
      *lf = p + at;
      return;
    }
    if (*equals == nullptr && equalsBits != 0) {
      *equals = p + __builtin_ctz(equalsBits);
    }
  }
  *lf = nullptr;
#else
  const std::size_t size = static_cast<std::size_t>(end - from);
  *lf = size == 0 ? nullptr
                  : static_cast<const char*>(std::memchr(from, '\n', size));
  if (*equals == nullptr) {
    const char* stop = *lf != nullptr ? *lf : end;
    const std::size_t before = static_cast<std::size_t>(stop - from);
    *equals = before == 0 ? nullptr
                          : static_cast<const char*>(
                                std::memchr(from, '=', before));
  }
#endif
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
  for (;;) {
    ssize_t n = ::read(input.fd, input.buffer.data() + input.end,
                       usableSize(input) - input.end);
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
  input.buffer.resize(input.end + kPadding);
  input.atEnd = true;
  stopAtEndOfFileMark(input, 0);
  return input;
}

bool readLine(MgfInput& input, std::string_view& line,
              std::size_t& equals) {
  std::size_t scanned = 0;  // bytes after begin known to hold no LF
  const char* equalsAt = nullptr;
  for (;;) {
    char* start = input.buffer.data() + input.begin;
    const std::size_t available = input.end - input.begin;
    const char* lf = nullptr;
    scanLine(start + scanned, start + available, &lf, &equalsAt);
    if (lf != nullptr) {
      std::size_t length = static_cast<std::size_t>(lf - start) + 1;
      input.begin += length;
      // CR LF reads as LF: move the LF onto the CR and drop the last byte.
      if (length >= 2 && lf[-1] == '\r') {
        start[length - 2] = '\n';
        --length;
      }
      line = std::string_view(start, length);
      equals = equalsAt == nullptr ? std::string_view::npos
                                   : static_cast<std::size_t>(equalsAt - start);
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
