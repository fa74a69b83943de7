// The value rules of the renaming walk; translateRecord itself is declared
// with the library's API in mspforge/mspforge.h.
#pragma once

#include <string>
#include <string_view>

#include "mspforge/mspforge.h"
#include "translate/key_rename_table.h"
#include "translate/translation_memory.h"

namespace mspforge {

// Applies one value rule of KeyRenameTable and gives the text to store: a
// view of value where the rule only trims or picks ("C8H10N4O2+" ->
// "C8H10N4O2"), a constant ("N", "P"), or a text it builds, kept in
// storage's own memory ("2" -> "MS2").
//   SpectrumType: "MS" followed by value, or value unchanged when it reads
//                 as the integer 0 ("2" -> "MS2", "MS2" -> "MS2", "0" -> "0").
//   IonMode:      "N" when value, blanks and tabs around it removed, is
//                 "negative" in any ASCII letter case ("Negative",
//                 " NEGATIVE\t"); "P" for every other value ("neg", "").
//   PrecursorType: up to the first "]1+" then "]+"; else up to the first
//                 "]1-" then "]-"; else value unchanged. Then in adduct
//                 notation (statedAdductNotation): "M-H" -> "[M-H]-",
//                 "[M+2H]+2" -> "[M+2H]2+".
//   Formula:      value without a last "+" or "-".
//   PrecursorMz:  value from its first byte that is not a blank or tab up
//                 to the next blank or tab: "195.0877 12000" -> "195.0877",
//                 "\t 301.1\t1200 2+" -> "301.1", "301.1,1200" unchanged,
//                 "  " -> "".
//   Copy, Name:   value unchanged.
std::string_view normaliseValue(ValueRule rule, std::string_view value,
                                FieldMap& storage);

// translateRecord, using and adding to what memory holds from the records
// translated before (see TranslationMemory): for a run that translates
// many records with one memory.
bool translateRecord(const FieldMap& sourceFields, CompoundName& compoundName,
                     FieldMap& libraryFields, FieldMap& commentFields,
                     TranslationNotes* notes, std::string_view nameTemplate,
                     TranslationMemory& memory);

}  // namespace mspforge
