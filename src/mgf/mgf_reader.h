// Cuts MGF input into spectrum records.
#pragma once

#include <array>
#include <string_view>

#include "mgf/mgf_input.h"
#include "mspforge/record_types.h"

namespace mspforge {

// Header keys whose lines are dropped: whole key, same case. A USI list or
// an exact mass has no place in a library record and can be very long.
inline constexpr std::array<std::string_view, 2> IgnoredSourceKeys = {
    "USI", "EXACTMASS"};

// A header value of exactly these bytes means "not available": the line is
// dropped and an earlier value of the same key in the record stays.
inline constexpr std::string_view NotAvailableValue = "N/A";

// Reads the next record: skips to the next line that begins with
// "BEGIN IONS", then sorts each line until one that begins with "END IONS":
//   - a line with "=" is a header line: key = bytes before the first "=",
//     value = bytes after it up to the line end, neither trimmed. The last
//     surviving line of a key decides its value; see IgnoredSourceKeys and
//     NotAvailableValue for the lines dropped. A line with "=" is never a
//     peak line and never ends the record;
//   - a line whose leading number reads as at least 1.0 is a peak line,
//     stored whole with its line feed;
//   - anything else is ignored, a "BEGIN IONS" line inside a record
//     included: a record without its "END IONS" runs on into the next.
//
// Empties sourceFields and peakLines first. Returns true with the record in
// them once its "END IONS" line is read; the input then stands just behind
// that line. Returns false when the input ends first, either before another
// record starts or inside one; an unfinished record is lost. After false,
// input.failed tells whether a read error ended the input.
bool readMgfRecord(MgfInput& input, FieldMap& sourceFields,
                   PeakLines& peakLines);

}  // namespace mspforge
