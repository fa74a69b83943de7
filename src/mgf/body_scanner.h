// The lines of a record's body, from its "BEGIN IONS" line to its end,
// sorted 64 bytes at a time: the usual peak line ("123.4567 890") is
// decided from bit masks of its block without looking at its bytes again,
// and a run of them is appended to PeakLines whole; every other line takes
// the full rules of sortRecordLine.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "mspforge/mspforge.h"

namespace mspforge {

// Where scanning a record's body stopped.
struct BodyScan {
  enum Stop {
    EndIons,    // at its "END IONS" line; input.begin stands behind it
    BeginIons,  // at a "BEGIN IONS" line, which ends the record unfinished;
                // lineStart is where it starts, input.begin behind it
    NeedBytes,  // at a line not whole among the bytes at hand; lineStart
                // is where it starts, and input.begin
  };
  Stop stop;
  std::size_t lineStart;
  std::uint64_t lines;  // the lines taken, the one it stopped at included
                        // (but for NeedBytes)
};

// Sorts the whole lines from input.begin on into sourceFields and
// peakLines, until one of the stops above.
BodyScan scanRecordBody(MgfInput& input, FieldMap& sourceFields,
                        PeakLines& peakLines);

// What a line of a record is, by the reader's rules.
enum class RecordLine { Header, Peak, EndIons, BeginIons, Ignored };

// Sorts one line of a record (its LF included, or the last line of an
// input without one): a header line goes to sourceFields, a peak line to
// peakLines; nothing else is kept.
RecordLine sortRecordLine(std::string_view line, FieldMap& sourceFields,
                          PeakLines& peakLines);

// Whether a peak line holds a number in exponent form in its first two
// columns ("100 1.9e+04"), and whether it has a third column ("345.10 237
// 3"); columns are separated by blanks, tabs or CRs.
void peakLineForms(std::string_view line, bool& exponent, bool& moreColumns);

}  // namespace mspforge
