// The numbers of a peak line, for the NumPy peaks of a record.
#pragma once

#include <cstddef>
#include <string_view>

namespace mspforge::python {

// Bytes that must be readable after the end of a line given to
// readPeakNumbers: a line is read 32 bytes at a time.
inline constexpr std::size_t kPeakLinePadding = 32;

// The first two numbers of a peak line, m/z and intensity, into out[0] and
// out[1]; NaN where the line holds no such number. Blanks and tabs before
// each number are skipped; a number is read as std::from_chars reads a
// decimal (an optional "+" too), to the correctly rounded double.
// REQUIRES: kPeakLinePadding bytes after the line are readable.
void readPeakNumbers(std::string_view line, double out[2]);

}  // namespace mspforge::python
