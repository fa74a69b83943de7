// Turns one record's MGF header fields into the parts of an MSP record.
#pragma once

#include <string>
#include <string_view>

#include "mspforge/record_types.h"
#include "translate/key_rename_table.h"

namespace mspforge {

// Empties compoundName, libraryFields and commentFields, then walks
// sourceFields in key order: a key of KeyRenameTable goes to compoundName
// or to libraryFields under its MSP key, its value normalised by the row's
// rule (a later key replacing an earlier one's text); every other key goes
// to commentFields unchanged. Then completes the record (completeRecord)
// and returns its verdict: true when the record is fit to be written.
bool translateRecord(const FieldMap& sourceFields, CompoundName& compoundName,
                     FieldMap& libraryFields, FieldMap& commentFields);

// Applies one value rule of KeyRenameTable: out receives the text to store.
//   SpectrumType: "MS" followed by value, or value unchanged when it reads
//                 as the integer 0 ("2" -> "MS2", "MS2" -> "MS2", "0" -> "0").
//   IonMode:      "N" for exactly "negative", "P" for every other value.
//   PrecursorType: up to the first "]1+" then "]+"; else up to the first
//                 "]1-" then "]-"; else value unchanged.
//   Formula:      value without a last "+" or "-".
//   Copy, Name:   value unchanged.
void normaliseValue(ValueRule rule, std::string_view value, std::string& out);

}  // namespace mspforge
