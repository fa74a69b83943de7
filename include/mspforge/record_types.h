// The containers that carry one spectrum record from the MGF reader through
// field translation to the MSP writer. The driver creates one of each for the
// whole run; every operation empties the containers it fills before filling
// them, so nothing of one record leaks into the next, and a container keeps
// its capacity from record to record.
//
// Lifetimes. The containers hold views, not copies: SourceFields' keys and
// values and PeakLines' runs of lines are views into the reader's input
// buffer, and LibraryFields' and
// CommentFields' views into those or into storage of their own for texts
// that a rule builds ("MS2", a derived adduct). Every view of a record is
// valid until the next call of readMgfRecord on the same input, which may
// move or reuse the bytes they point to, and the views of a map until it
// is cleared. Texts stored with FieldMap::set() and PeakLines::append() are
// copies that the container keeps.
#pragma once

#include <string>

#include "mspforge/field_map.h"   // Field, FieldMap
#include "mspforge/peak_lines.h"  // PeakLines

namespace mspforge {

// The text of the MSP "Name:" line. A copy: it outlives the record's views.
using CompoundName = std::string;

// FieldMap: an ordered map from key to value, keys unique, compared as
// unsigned bytes with a proper prefix first ("PrecursorMZ" before
// "Precursor_type", "CHARGE" before "SCANS"). Storing under a present key
// replaces its value. set(key, value) stores copies; setView(key, value)
// stores views; find(key) gives the value or nullptr; iteration visits
// Field{key, value} in key order.
//
// PeakLines: one record's peak lines in input order, each the raw input
// line with the line feed that ended it. append() stores a copy,
// appendView() a view; runs() gives the lines as runs of adjacent bytes.

}  // namespace mspforge
