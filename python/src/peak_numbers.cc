#include "peak_numbers.h"

#include <bit>
#include <charconv>
#include <cstdint>
#include <cstring>
#include <limits>

#include "mspforge/read_integer.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace mspforge::python {
namespace {

constexpr double kPowersOfTen[] = {
    1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
    1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

// Reads the decimal number at `at`, as from_chars does, into value, and
// returns where it ends; null when there is none. With at most 15 digits
// and a power of ten within 10^±22, the digits and the power are exact
// doubles, and one division or multiplication, rounded once, gives the
// correctly rounded value (Clinger's fast path). Anything else goes to
// from_chars.
const char* readNumber(const char* at, const char* end, double& value) {
  const char* p = at;
  const bool negative = p < end && *p == '-';
  if (p < end && (*p == '-' || *p == '+')) ++p;
  std::uint64_t digits = 0;
  int count = 0;
  int afterPoint = 0;
  bool point = false;
  for (; p < end; ++p) {
    const char c = *p;
    if (c >= '0' && c <= '9') {
      digits = digits * 10 + static_cast<unsigned>(c - '0');
      ++count;
      if (point) ++afterPoint;
    } else if (c == '.' && !point) {
      point = true;
    } else {
      break;
    }
  }
  int scale = -afterPoint;  // the value is digits * 10^scale
  if (count > 0 && p < end && (*p == 'e' || *p == 'E')) {
    const char* q = p + 1;
    const bool below = q < end && *q == '-';
    if (q < end && (*q == '-' || *q == '+')) ++q;
    int exponent = 0;
    const char* exponentDigits = q;
    while (q < end && *q >= '0' && *q <= '9' && exponent < 1000) {
      exponent = exponent * 10 + (*q - '0');
      ++q;
    }
    if (q > exponentDigits && (q == end || *q < '0' || *q > '9')) {
      scale += below ? -exponent : exponent;
      p = q;
    } else {
      count = 0;  // left to from_chars
    }
  }
  if (count > 0 && count <= 15 && scale >= -22 && scale <= 22) {
    const double magnitude = static_cast<double>(digits);
    value = scale < 0 ? magnitude / kPowersOfTen[-scale]
                      : magnitude * kPowersOfTen[scale];
    if (negative) value = -value;
    return p;
  }
  const char* from = at < end && *at == '+' ? at + 1 : at;
  const auto [next, ec] = std::from_chars(from, end, value);
  return ec == std::errc() ? next : nullptr;
}

// How many of the eight bytes of word, first byte lowest, are decimal
// digits before the first that is not. A byte is flagged when it is below
// '0' (x - 0x30 borrows), above '9' (x + 0x46 reaches the top bit) or
// above 0x7F; a borrow or carry only spills into later bytes, so the first
// flagged byte is always right.
unsigned leadingDigits(std::uint64_t word) {
  const std::uint64_t flagged = ((word + 0x4646464646464646u) |
                                 (word - 0x3030303030303030u) | word) &
                                0x8080808080808080u;
  return flagged == 0 ? 8u
                      : static_cast<unsigned>(std::countr_zero(flagged)) >> 3;
}

// The value of the first `count` (0 to 8) digits of word: they are moved
// to the top as if zeros led them (in two shifts, so that none is by 64),
// then combined pairwise in three multiplications.
std::uint64_t digitsValue(std::uint64_t word, unsigned count) {
  const unsigned half = 4 * (8 - count);
  std::uint64_t v = (word - 0x3030303030303030u) << half << half;
  v = v * 10 + (v >> 8);
  v = ((v & 0x000000FF000000FFu) * (100 + (1000000ull << 32)) +
       ((v >> 16) & 0x000000FF000000FFu) * (1 + (10000ull << 32))) >>
      32;
  return static_cast<std::uint32_t>(v);
}

std::uint64_t load8(const char* p) {
  std::uint64_t word;
  std::memcpy(&word, p, 8);
  if constexpr (std::endian::native == std::endian::big) {
    word = __builtin_bswap64(word);
  }
  return word;
}

constexpr std::uint64_t kIntegerPowersOfTen[] = {
    1, 10, 100, 1000, 10000, 100000, 1000000, 10000000};

// readNumber for the numbers of nearly every peak line, "110.0713", "45"
// or "3.219612e+02": fewer than eight digits before and after the point,
// and an exponent of at most two digits, read eight bytes at a time, with
// as few branches as can be. Such a number has at most 14 digits, below
// 2^53, and a power of ten within 10^±22 (the exponent less the digits
// after the point), so one division or multiplication is the correctly
// rounded value. Returns where the number ends, or null when the number
// at p is not of this form (or there is none): readNumber decides then.
const char* readShortNumber(const char* p, double& value) {
  const bool negative = *p == '-';
  p += (*p == '-') | (*p == '+');
  const std::uint64_t first = load8(p);
  const unsigned whole = leadingDigits(first);
  p += whole;
  const bool point = *p == '.';
  const std::uint64_t second = load8(p + 1);
  const unsigned fraction = point ? leadingDigits(second) : 0;
  if (whole == 8 || fraction == 8 || whole + fraction == 0) return nullptr;
  const std::uint64_t digits =
      digitsValue(first, whole) * kIntegerPowersOfTen[fraction] +
      digitsValue(second, fraction);
  p += point + fraction;
  int scale = -static_cast<int>(fraction);
  if ((*p | 0x20) == 'e') {
    const char* q = p + 1;
    const bool below = *q == '-';
    q += (*q == '-') | (*q == '+');
    const std::uint64_t word = load8(q);
    const unsigned exponentDigits = leadingDigits(word);
    if (exponentDigits == 0 || exponentDigits > 2) return nullptr;
    const int exponent = static_cast<int>(digitsValue(word, exponentDigits));
    scale += below ? -exponent : exponent;
    if (scale < -22 || scale > 22) return nullptr;
    p = q + exponentDigits;
  }
  const double magnitude = static_cast<double>(digits);
  const double magnitudeScaled = scale < 0 ? magnitude / kPowersOfTen[-scale]
                                           : magnitude * kPowersOfTen[scale];
  value = negative ? -magnitudeScaled : magnitudeScaled;
  return p;
}

// The numbers of the line [p, end), whatever it holds.
void readAnyLine(const char* p, const char* end, double out[2]) {
  out[0] = out[1] = std::numeric_limits<double>::quiet_NaN();
  for (int i = 0; i < 2; ++i) {
    while (p < end && isCSpace(*p)) ++p;
    if (p == end) return;
    const char* next = readShortNumber(p, out[i]);
    if (next == nullptr || next > end) {
      next = readNumber(p, end, out[i]);
      if (next == nullptr) return;
    }
    p = next;
  }
}

// The end of the line that starts at p: one past its LF, or end.
const char* lineEndAfter(const char* p, const char* end) {
  const void* lf = std::memchr(p, '\n', static_cast<std::size_t>(end - p));
  return lf == nullptr ? end : static_cast<const char*>(lf) + 1;
}

#if defined(__SSE2__)
double scaled(std::uint64_t digits, unsigned fraction) {
  return static_cast<double>(digits) / kPowersOfTen[fraction];
}

// Reads the line that starts at p and returns where it ends (one past its
// LF, or end). The usual peak line, two unsigned numbers of fewer than
// eight digits before and after an optional point with one run of blanks
// or tabs between them and the LF right after the second, all in 32
// bytes, is read from bit masks of those bytes (digits, points, blanks,
// LFs), so that finding where each part ends takes a few bit operations
// and no loop. Any other line goes to readAnyLine.
const char* readLine(const char* p, const char* end, double out[2]) {
  auto masks = [](__m128i bytes, std::uint32_t& digit, std::uint32_t& point,
                  std::uint32_t& blank, std::uint32_t& lf) {
    const __m128i digits = _mm_and_si128(
        _mm_cmpgt_epi8(bytes, _mm_set1_epi8('0' - 1)),
        _mm_cmplt_epi8(bytes, _mm_set1_epi8('9' + 1)));
    digit = static_cast<std::uint32_t>(_mm_movemask_epi8(digits));
    point = static_cast<std::uint32_t>(
        _mm_movemask_epi8(_mm_cmpeq_epi8(bytes, _mm_set1_epi8('.'))));
    blank = static_cast<std::uint32_t>(_mm_movemask_epi8(
        _mm_or_si128(_mm_cmpeq_epi8(bytes, _mm_set1_epi8(' ')),
                     _mm_cmpeq_epi8(bytes, _mm_set1_epi8('\t')))));
    lf = static_cast<std::uint32_t>(
        _mm_movemask_epi8(_mm_cmpeq_epi8(bytes, _mm_set1_epi8('\n'))));
  };
  std::uint32_t digit0, point0, blank0, lf0, digit1, point1, blank1, lf1;
  masks(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)), digit0, point0,
        blank0, lf0);
  masks(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16)), digit1,
        point1, blank1, lf1);
  const std::uint64_t lf = lf0 | std::uint64_t{lf1} << 16;
  const auto size = static_cast<std::size_t>(end - p);
  const unsigned lineFeed = static_cast<unsigned>(std::countr_zero(lf));
  if (lineFeed >= size || lineFeed == 64) {
    const char* lineEnd = lineEndAfter(p, end);
    readAnyLine(p, lineEnd, out);
    return lineEnd;
  }
  const std::uint64_t digit = digit0 | std::uint64_t{digit1} << 16;
  const std::uint64_t point = point0 | std::uint64_t{point1} << 16;
  const std::uint64_t blank = blank0 | std::uint64_t{blank1} << 16;
  // One number from position `at`: its whole and fraction digit counts,
  // and where it ends.
  auto number = [&](unsigned at, unsigned& whole, unsigned& fraction) {
    whole = static_cast<unsigned>(std::countr_zero(~digit >> at));
    const unsigned hasPoint = static_cast<unsigned>(point >> (at + whole)) & 1;
    fraction = hasPoint == 0 ? 0
                             : static_cast<unsigned>(std::countr_zero(
                                   ~digit >> (at + whole + 1)));
    return at + whole + hasPoint + fraction;
  };
  unsigned whole1, fraction1, whole2, fraction2;
  const unsigned end1 = number(0, whole1, fraction1);
  const unsigned start2 =
      end1 + static_cast<unsigned>(std::countr_zero(~blank >> end1));
  const unsigned end2 = number(start2, whole2, fraction2);
  if ((whole1 | fraction1 | whole2 | fraction2) >= 8 ||
      whole1 + fraction1 == 0 || whole2 + fraction2 == 0 || start2 == end1 ||
      end2 != lineFeed) {
    readAnyLine(p, p + lineFeed + 1, out);
    return p + lineFeed + 1;
  }
  const unsigned fractionAt1 = whole1 + 1;
  const unsigned fractionAt2 = start2 + whole2 + 1;
  out[0] = scaled(digitsValue(load8(p), whole1) * kIntegerPowersOfTen[fraction1] +
                      digitsValue(load8(p + fractionAt1), fraction1),
                  fraction1);
  out[1] = scaled(
      digitsValue(load8(p + start2), whole2) * kIntegerPowersOfTen[fraction2] +
          digitsValue(load8(p + fractionAt2), fraction2),
      fraction2);
  return p + lineFeed + 1;
}
#else
const char* readLine(const char* p, const char* end, double out[2]) {
  const char* lineEnd = lineEndAfter(p, end);
  readAnyLine(p, lineEnd, out);
  return lineEnd;
}
#endif

}  // namespace

void readPeakNumbers(std::string_view line, double out[2]) {
  readLine(line.data(), line.data() + line.size(), out);
}

std::size_t readPeakRun(std::string_view run, double* out, std::size_t most) {
  const char* p = run.data();
  const char* const end = p + run.size();
  std::size_t lines = 0;
  for (; p < end && lines < most; ++lines) {
    p = readLine(p, end, out + 2 * lines);
  }
  return lines;
}

}  // namespace mspforge::python
