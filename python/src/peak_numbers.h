// The numbers of peak lines, for the NumPy peaks of a record.
#pragma once

#include <cstddef>
#include <string_view>

namespace mspforge::python {

// Bytes that must be readable after the end of the text given to the
// functions below: a line is read 32 bytes at a time.
inline constexpr std::size_t kPeakLinePadding = 32;

// The first two numbers of a peak line (its bytes up to its LF), m/z and
// intensity, into out[0] and out[1]; NaN where the line holds no such
// number. Blanks and tabs before each number are skipped; a number is read
// as std::from_chars reads a decimal (an optional "+" too), to the
// correctly rounded double.
// REQUIRES: kPeakLinePadding bytes after the line are readable.
void readPeakNumbers(std::string_view line, double out[2]);

// readPeakNumbers for each line of run, lines that follow one another,
// each ending with its LF, into out[0], out[1], out[2]..., for at most
// `most` lines; returns how many lines it read.
// REQUIRES: kPeakLinePadding bytes after the run are readable.
std::size_t readPeakRun(std::string_view run, double* out, std::size_t most);

}  // namespace mspforge::python
