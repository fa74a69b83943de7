#include "mgf/peak_threshold.h"

#include <cstdlib>
#include <string>

#include "mspforge/read_integer.h"

namespace mspforge {
namespace {

// The rare forms (exponents, hexadecimal, inf and nan, long runs of nines
// that may round up to 1.0) go to the C library itself, so that the answer
// is atof's to the last bit. strtod stops at the copy's first NUL, as atof
// would on the raw line.
bool libraryReadsAtLeastOne(std::string_view line) {
  std::string copy(line);
  return std::strtod(copy.c_str(), nullptr) >= 1.0;
}

const char* skipDigits(const char* p, const char* end) {
  while (p < end && isDigit(*p)) ++p;
  return p;
}

}  // namespace

bool leadingNumberAtLeastOneSlowly(std::string_view line) {
  const char* p = line.data();
  const char* const end = p + line.size();
  while (p < end && isCSpace(*p)) ++p;
  if (p < end && *p == '+') ++p;
  if (p == end) return false;
  if (*p == '-') return false;  // negative, -0 or -nan: never at least 1
  if (!isDigit(*p) && *p != '.') {
    // Only "inf", "infinity" and "nan" can still make a number here.
    return (*p == 'i' || *p == 'I' || *p == 'n' || *p == 'N') &&
           libraryReadsAtLeastOne(line);
  }
  if (*p == '0') {
    // "0x" may start a hexadecimal number; any other zeros lead nowhere.
    if (p + 1 < end && (p[1] == 'x' || p[1] == 'X')) {
      return libraryReadsAtLeastOne(line);
    }
    while (p < end && *p == '0') ++p;
  }
  if (p < end && *p >= '1' && *p <= '9') {
    // The usual peak line, "123.4567 890": a non-zero integer digit makes
    // the number at least 1 unless an exponent scales it down.
    p = skipDigits(p + 1, end);
    if (p < end && *p == '.') p = skipDigits(p + 1, end);
    return p == end || (*p != 'e' && *p != 'E') ||
           libraryReadsAtLeastOne(line);
  }
  // Zero, or a bare fraction: below 1 unless an exponent scales it up or
  // it is a run of nines long enough to round up to 1.0 (17 of them do).
  std::size_t nines = 0;
  if (p < end && *p == '.') {
    ++p;
    while (p < end && *p == '9') ++p, ++nines;
    while (p < end && isDigit(*p)) ++p;
  }
  if (nines >= 15) return libraryReadsAtLeastOne(line);
  return p < end && (*p == 'e' || *p == 'E') && libraryReadsAtLeastOne(line);
}

}  // namespace mspforge
