// What must hold for the conversion of any input whatsoever; checked by
// the fuzzer on every input it tries and by the tests on every input the
// fuzzer ever found.
#pragma once

#include <string>
#include <string_view>

namespace mspforge::test {

// Converts mgf in memory twice and checks that:
//   - the conversion completes and gives the same bytes both times;
//   - total = set aside + unrecognized + written, where written is the
//     number of records found in the output;
//   - every record is well formed: a non-empty "Name: " line, MSP field
//     lines in strictly ascending key order, among them "PrecursorMZ" and
//     "Spectrum_type", one "Comments:" line, "Num Peaks: N" with N > 0,
//     N peak lines each of which reads as a peak and holds no "=", and an
//     empty line; nothing else stands in the output.
// Returns "" when all of it holds, else what does not.
std::string checkConversionInvariants(std::string_view mgf);

}  // namespace mspforge::test
