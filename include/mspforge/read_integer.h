// Integer reading as the C library's atoi and base-10 strtol read: used for
// the MS level, the charge and the counts inside adduct expressions.
#pragma once

#include <cstdint>
#include <limits>
#include <string_view>

namespace mspforge {

// The white space that atoi and strtod skip in the C locale: the blank,
// and "\t", "\n", "\v", "\f" and "\r", which are the codes 9 to 13.
constexpr bool isCSpace(char c) {
  return c == ' ' || static_cast<unsigned char>(c - '\t') <= '\r' - '\t';
}

constexpr bool isDigit(char c) { return c >= '0' && c <= '9'; }

namespace detail {

// What readInteger sees in a text: where its number starts and ends, the
// sign before it, and its magnitude, capped just past the 32-bit range.
struct IntegerReading {
  bool signBefore = false;     // a "+" or "-" stood before the digits
  bool negative = false;       // that sign was "-"
  std::int64_t magnitude = 0;  // capped at kMagnitudeCap
  std::size_t end = std::string_view::npos;  // just past the last digit

  static constexpr std::int64_t kMagnitudeCap =
      std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1;
};

constexpr IntegerReading readIntegerParts(std::string_view text) {
  IntegerReading reading;
  std::size_t i = 0;
  while (i < text.size() && isCSpace(text[i])) ++i;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    reading.signBefore = true;
    reading.negative = text[i] == '-';
    ++i;
  }
  // Stop growing the magnitude once it is past the 32-bit range, so any
  // number of digits is safe.
  const std::size_t firstDigit = i;
  while (i < text.size() && isDigit(text[i])) {
    if (reading.magnitude <= IntegerReading::kMagnitudeCap) {
      reading.magnitude = reading.magnitude * 10 + (text[i] - '0');
    }
    ++i;
  }
  if (i != firstDigit) reading.end = i;
  return reading;
}

constexpr std::int32_t saturate(std::int64_t magnitude, bool negative) {
  if (negative) {
    return magnitude >= IntegerReading::kMagnitudeCap
               ? std::numeric_limits<std::int32_t>::min()
               : static_cast<std::int32_t>(-magnitude);
  }
  return magnitude >= IntegerReading::kMagnitudeCap
             ? std::numeric_limits<std::int32_t>::max()
             : static_cast<std::int32_t>(magnitude);
}

}  // namespace detail

// Skips leading white space, takes one optional sign, then reads decimal
// digits up to the first other byte. No digits give 0; a value beyond the
// signed 32-bit range saturates at 2147483647 or -2147483648. Anything after
// the number is ignored. *end, when given, receives the position just past
// the last digit read, or std::string_view::npos when no digit was read.
constexpr std::int32_t readInteger(std::string_view text,
                                   std::size_t* end = nullptr) {
  const detail::IntegerReading reading = detail::readIntegerParts(text);
  if (end != nullptr) *end = reading.end;
  return detail::saturate(reading.magnitude, reading.negative);
}

// Reads an MGF "CHARGE" value. Mascot's MGF definition writes the sign of a
// charge after its digits ("2+", "1-"), so a "-" right after the digits
// makes the charge negative when no sign stood before them: "2-" is -2,
// "2147483648-" is -2147483648. Otherwise it is readInteger: "-2-" is -2,
// "+2-" is 2, "2 -" is 2, "2+ and 3+" is 2, "0-" is 0.
constexpr std::int32_t readCharge(std::string_view text) {
  const detail::IntegerReading reading = detail::readIntegerParts(text);
  const bool signAfter = !reading.signBefore &&
                         reading.end != std::string_view::npos &&
                         reading.end < text.size() && text[reading.end] == '-';
  return detail::saturate(reading.magnitude, reading.negative || signAfter);
}

}  // namespace mspforge
