// A record's MGF header fields made into the parts of an MSP record, and
// why a record would not be written (see mspforge/mspforge.h for how the
// calls fit together).
#pragma once

#include <string_view>
#include <vector>

#include "mspforge/record_types.h"

namespace mspforge {

// Turns one record's MGF header fields into the parts of an MSP record.
// Empties compoundName, libraryFields and commentFields first; sourceFields
// is only read. Keys with an MSP equivalent ("NAME", "PEPMASS", "MSLEVEL",
// ... the README's key table) go to compoundName or libraryFields, their
// values normalised; every other key goes to commentFields unchanged. Then
// the record is completed: a missing (or blank) name is taken from
// "TITLE", a missing "Precursor_type" from the name or "CHARGE", and
// "[M+FA]-" is written "[M+CHO2]-". Returns true when the record is fit
// for a library: it has a name that is not blank, "Spectrum_type", and a
// "PrecursorMZ" that is a number. A rejected record's outputs hold what
// translation made of it.
bool translateRecord(const FieldMap& sourceFields, CompoundName& compoundName,
                     FieldMap& libraryFields, FieldMap& commentFields);

// Where a record's "Precursor_type" came from.
enum class AdductSource {
  None,         // the record has none
  StatedField,  // ADDUCT, ION, PRECURSORTYPE or PRECURSOR_TYPE
                // (statedAdductKey)
  NameBracket,  // bracket notation in the name: "Caffeine [M+H]"
  NameTail,     // the last word of the name: "Caffeine M+H"
  Charge,       // the CHARGE alone: "[M+H]+" for 1
};

// What translation learnt of a record besides its MSP fields.
struct TranslationNotes {
  bool lacksName = false;         // no NAME, COMPOUND_NAME or TITLE that is
                                  // not blank, and no name from a template
  bool lacksMsLevel = false;      // no MSLEVEL or MS_LEVEL
  bool lacksPrecursorMz = false;  // no PEPMASS or PRECURSOR_MZ that begins
                                  // with a number
  AdductSource adductSource = AdductSource::None;
  std::string_view statedAdductKey;  // the MGF key, for StatedField
};

// translateRecord, filling notes as well (also for a rejected record), and
// naming a record that has no name nor title from nameTemplate (see
// ConversionOptions::nameTemplate).
bool translateRecord(const FieldMap& sourceFields, CompoundName& compoundName,
                     FieldMap& libraryFields, FieldMap& commentFields,
                     TranslationNotes* notes,
                     std::string_view nameTemplate = {});

// Why one record would not be written, in the summary's words ("without an
// MS level (MSLEVEL or MS_LEVEL)"), one for each thing it lacks as notes
// and hasPeaks (a peak line that counts) tell; empty when it would be.
std::vector<std::string_view> reasonsNotWritten(const TranslationNotes& notes,
                                                bool hasPeaks);

}  // namespace mspforge
