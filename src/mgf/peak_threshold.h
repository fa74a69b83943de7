// Whether a line of an MGF record is a peak line: the number at its start,
// read as C's atof reads it in the C locale, is at least 1.0.
#pragma once

#include <string_view>

namespace mspforge {

// True when atof(line) >= 1.0, for any bytes: white space skipped, an
// optional sign, then decimal digits with an optional fraction and
// exponent, or a hexadecimal number after "0x", or "inf", "infinity" or
// "nan" in any case; reading stops at the first byte that does not fit (a
// NUL byte included), and a line without a number reads as 0. "nan" fails
// the comparison; "inf" passes it.
bool leadingNumberAtLeastOne(std::string_view line);

}  // namespace mspforge
