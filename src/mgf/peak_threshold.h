// Whether a line of an MGF record is a peak line: the number at its start,
// read as C's atof reads it in the C locale, is at least 1.0.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "mspforge/read_integer.h"

namespace mspforge {

// The first byte at or after p outside 0x2E to 0x39 (".", "/" and the
// digits), or end. Eight bytes at a time where the platform is
// little-endian: a byte is flagged when it is below 0x2E (x - 0x2E
// borrows), above 0x39 (x + 0x46 reaches the top bit) or above 0x7F. A
// borrow or carry only spills into later bytes, so the first flagged byte
// is always right.
inline const char* skipNumberBytes(const char* p, const char* end) {
  if constexpr (std::endian::native == std::endian::little) {
    while (end - p >= 8) {
      std::uint64_t word;
      std::memcpy(&word, p, 8);
      const std::uint64_t flagged =
          ((word + 0x4646464646464646u) | (word - 0x2E2E2E2E2E2E2E2Eu) |
           word) &
          0x8080808080808080u;
      if (flagged != 0) return p + (__builtin_ctzll(flagged) >> 3);
      p += 8;
    }
  }
  while (p < end && *p >= 0x2E && *p <= 0x39) ++p;
  return p;
}

// leadingNumberAtLeastOne for any line.
bool leadingNumberAtLeastOneSlowly(std::string_view line);

// True when atof(line) >= 1.0, for any bytes: white space skipped, an
// optional sign, then decimal digits with an optional fraction and
// exponent, or a hexadecimal number after "0x", or "inf", "infinity" or
// "nan" in any case; reading stops at the first byte that does not fit (a
// NUL byte included), and a line without a number reads as 0. "nan" fails
// the comparison; "inf" passes it.
// Inline for the line of nearly every peak, "123.4567 890": it starts
// with a digit from 1 to 9, so its number is at least 1 unless an exponent
// follows the digits and points. One pass skips the run of digits, "." and
// "/" (0x2E to 0x39) after the first digit; if no "e" or "E" ends the run,
// no exponent can follow the number however the run splits into number and
// rest (the number ends inside the run only at a second "." or a "/"), so
// the answer is yes. Every other line takes the full rules.
inline bool leadingNumberAtLeastOne(std::string_view line) {
  const char* p = line.data();
  const char* const end = p + line.size();
  if (p < end && *p >= '1' && *p <= '9') {
    p = skipNumberBytes(p + 1, end);
    if (p == end || (*p != 'e' && *p != 'E')) return true;
  }
  return leadingNumberAtLeastOneSlowly(line);
}

}  // namespace mspforge
