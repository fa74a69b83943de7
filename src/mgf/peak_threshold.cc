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

}  // namespace

bool leadingNumberAtLeastOne(std::string_view line) {
  std::size_t i = 0;
  const std::size_t n = line.size();
  while (i < n && isCSpace(line[i])) ++i;
  if (i < n && line[i] == '-') {
    // A negative number, -0 or -nan: never at least 1.0.
    return false;
  }
  if (i < n && line[i] == '+') ++i;
  if (i == n) return false;
  char first = line[i];
  if (!isDigit(first) && first != '.') {
    // Only "inf", "infinity" and "nan" can still make a number here.
    return first == 'i' || first == 'I' || first == 'n' || first == 'N'
               ? libraryReadsAtLeastOne(line)
               : false;
  }
  // Plain decimal: an integer part with a non-zero digit is at least 1,
  // unless an exponent follows to scale it down.
  bool nonZeroInteger = false;
  while (i < n && isDigit(line[i])) {
    nonZeroInteger = nonZeroInteger || line[i] != '0';
    ++i;
  }
  std::size_t leadingNines = 0;
  if (i < n && line[i] == '.') {
    ++i;
    bool ninesSoFar = true;
    while (i < n && isDigit(line[i])) {
      if (ninesSoFar && line[i] == '9') {
        ++leadingNines;
      } else {
        ninesSoFar = false;
      }
      ++i;
    }
  }
  if (i < n && (line[i] == 'e' || line[i] == 'E' || line[i] == 'x' ||
                line[i] == 'X')) {
    return libraryReadsAtLeastOne(line);
  }
  if (nonZeroInteger) return true;
  // 0.999... rounds to 1.0 only with at least 17 nines; leave every
  // near case to the library.
  return leadingNines >= 15 ? libraryReadsAtLeastOne(line) : false;
}

}  // namespace mspforge
