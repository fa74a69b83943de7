// The per-spectrum report (--report): one tab-separated line for every
// record read, for finding the spectra that did not make it into a large
// library.
#pragma once

#include <string>
#include <string_view>

#include "mspforge/mspforge.h"

namespace mspforge {

// The report's first line, naming its columns, with its LF.
std::string reportHeader();

// One record's line, with its LF:
//   spectrum  its number, from 1
//   line      the line of its BEGIN IONS, from 1
//   name      its Name line, or for one without peaks or END IONS its
//             NAME, COMPOUND_NAME or TITLE
//   outcome   "written", "no peaks", "rejected" or "no END IONS" (never
//             written, and not in the tally line)
//   missing   for a rejected one, what it lacks: "compound name",
//             "MS level", "precursor m/z", comma-separated
//   precursor_type       as written
//   precursor_type_from  "ADDUCT field" (or ION, PRECURSORTYPE,
//             PRECURSOR_TYPE),
//             "name bracket", "name tail" or "charge"
// A backslash, tab, CR or NUL in a text is written \\, \t, \r or \0, so
// that every line has its seven columns.
std::string reportLine(const RecordOutcome& outcome);

// The line's columns from name to precursor_type_from, without a line
// end, appended to line: for a report numbered otherwise.
void appendReportColumns(std::string& line, const RecordOutcome& outcome);

// Appends text with a backslash, tab, CR or NUL written \\, \t, \r or \0.
void appendEscaped(std::string& line, std::string_view text);

}  // namespace mspforge
