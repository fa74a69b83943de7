// What must hold for the conversion of any input whatsoever; checked by
// the fuzzer on every input it tries and by the tests on every input the
// fuzzer ever found.
#pragma once

#include <string>
#include <string_view>

namespace mspforge::test {

// Converts mgf in memory twice and checks that:
//   - the conversion completes (or, for damaged gzip data, fails as a read
//     error) and gives the same result and bytes both times;
//   - total = set aside + unrecognized + written, where written is the
//     number of records found in the output;
//   - every record is well formed: a non-empty "Name: " line, MSP field
//     lines in strictly ascending key order, among them "PrecursorMZ" and
//     "Spectrum_type", one "Comments:" line, "Num Peaks: N" with N > 0,
//     N peak lines each of which reads as a peak and holds no "=", and an
//     empty line; nothing else stands in the output.
// Returns "" when all of it holds, else what does not.
std::string checkConversionInvariants(std::string_view mgf);

// Checks the fast paths against straightforward ones on the same bytes:
//   - the line reader against a plain split at LF (CR LF read as LF, input
//     ended at 0x1A), lines and positions of their first "=";
//   - the peak test against strtod on every line, and the numbers read
//     for Python's peaks against std::from_chars;
//   - FieldMap against std::map, fed each line as key "=" value.
// Returns "" when they agree, else where they differ.
std::string checkFastPathsAgainstReference(std::string_view bytes);

// Checks readMgfRecord against a plain reading of the same bytes by the
// rules of an MGF record (a split into lines, then one rule per kind of
// line, with std::map and std::string), record by record: from memory,
// and from a reader that hands over a few bytes at a time into a small
// buffer, so that records run past the bytes at hand and are read again.
// Returns "" when they agree, else where they differ.
std::string checkReaderAgainstReference(std::string_view bytes);

// Checks that StreamingConversion, fed the bytes in pieces of sizes drawn
// from the bytes themselves, gives convertBytes' output and tally.
std::string checkStreamingAgainstWhole(std::string_view bytes);

// Checks that the conversion cut into chunks (as a file is converted on
// several threads), with chunks of a few bytes up to a few kilobytes,
// gives convertBytes' output and tally.
std::string checkChunkedAgainstWhole(std::string_view bytes);

}  // namespace mspforge::test
