// The second stage of translation: fills the gaps that the renaming walk
// leaves and decides whether a record is fit for a library.
#pragma once

#include <array>
#include <string_view>

#include "mspforge/record_types.h"

namespace mspforge {

// A library record needs an MS level and a precursor m/z; only their
// presence counts, not their values.
inline constexpr std::array<std::string_view, 2> RequiredLibraryKeys = {
    "Spectrum_type", "PrecursorMZ"};

// Completes the record that translateRecord's walk left in compoundName and
// libraryFields (commentFields is only read), and returns true when the
// record is accepted: both RequiredLibraryKeys are present and the compound
// name is not empty.
bool completeRecord(CompoundName& compoundName, FieldMap& libraryFields,
                    const FieldMap& commentFields);

}  // namespace mspforge
