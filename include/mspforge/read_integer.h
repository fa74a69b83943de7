// Integer reading as the C library's atoi and base-10 strtol read: used for
// the MS level, the charge and the counts inside adduct expressions.
#pragma once

#include <cstdint>
#include <limits>
#include <string_view>

namespace mspforge {

// The white space that atoi and strtod skip in the C locale.
constexpr bool isCSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' ||
         c == '\r';
}

constexpr bool isDigit(char c) { return c >= '0' && c <= '9'; }

// Skips leading white space, takes one optional sign, then reads decimal
// digits up to the first other byte. No digits give 0; a value beyond the
// signed 32-bit range saturates at 2147483647 or -2147483648. Anything after
// the number is ignored. *end, when given, receives the position just past
// the last digit read, or std::string_view::npos when no digit was read.
inline std::int32_t readInteger(std::string_view text,
                                std::size_t* end = nullptr) {
  std::size_t i = 0;
  while (i < text.size() && isCSpace(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  // Accumulate the magnitude in 64 bits and stop growing it once it is past
  // the 32-bit range, so any number of digits is safe.
  constexpr std::int64_t kLimit =
      std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1;
  std::int64_t magnitude = 0;
  std::size_t firstDigit = i;
  while (i < text.size() && isDigit(text[i])) {
    if (magnitude <= kLimit) magnitude = magnitude * 10 + (text[i] - '0');
    ++i;
  }
  if (end != nullptr) *end = i == firstDigit ? std::string_view::npos : i;
  if (negative) {
    return magnitude >= kLimit ? std::numeric_limits<std::int32_t>::min()
                               : static_cast<std::int32_t>(-magnitude);
  }
  return magnitude >= kLimit ? std::numeric_limits<std::int32_t>::max()
                             : static_cast<std::int32_t>(magnitude);
}

}  // namespace mspforge
