// Line reading over MgfInput (see mspforge/streams.h for what the input
// does with line ends, Ctrl-Z and NUL bytes).
#pragma once

#include <cstddef>
#include <cstring>
#include <string_view>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "mspforge/streams.h"

namespace mspforge {

// The buffer always holds this many bytes past its usable part, so that the
// line scan may load 16 bytes from any position before input.end.
inline constexpr std::size_t kPadding = 16;

// Finds the first LF in [from, end), and the first "=" before it unless
// *equals is already set. Sets *lf to nullptr when [from, end) holds no LF.
inline void scanLine(const char* from, const char* end, const char** lf,
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

// Ends the line at lf (CR LF read as LF) and moves the input past it.
inline void takeLine(MgfInput& input, char* start, const char* lf,
                     const char* equalsAt, std::string_view& line,
                     std::size_t& equals) {
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
}

// readLine for a line that is already whole in the buffer: false, with
// nothing consumed, when it is not. Unlike readLine it never reads more
// input, so views of earlier lines stay valid.
inline bool readWholeLine(MgfInput& input, std::string_view& line,
                          std::size_t& equals) {
  char* start = input.buffer.data() + input.begin;
  const char* lf = nullptr;
  const char* equalsAt = nullptr;
  scanLine(start, input.buffer.data() + input.end, &lf, &equalsAt);
  if (lf == nullptr) return false;
  takeLine(input, start, lf, equalsAt, line, equals);
  return true;
}

// readLine for a line that is not yet whole in the buffer: reads more,
// which moves the bytes in the buffer.
bool readLineSlowly(MgfInput& input, std::string_view& line,
                    std::size_t& equals);

// Delivers the next line, its LF included (the last line of an input
// without a final line end has none), and in equals the position of its
// first "=" (std::string_view::npos when it has none). The view stays valid
// until the next call. Returns false at the end of the input, and also on a
// read error, after which input.failed is true: callers must tell the two
// apart. Inline, as it runs once per line: the usual line is already whole
// in the buffer.
inline bool readLine(MgfInput& input, std::string_view& line,
                     std::size_t& equals) {
  return readWholeLine(input, line, equals) ||
         readLineSlowly(input, line, equals);
}

inline bool readLine(MgfInput& input, std::string_view& line) {
  std::size_t equals;
  return readLine(input, line, equals);
}

}  // namespace mspforge
