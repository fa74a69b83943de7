// Writes one spectrum record in MSP library layout.
#pragma once

#include "msp/msp_output.h"
#include "mspforge/record_types.h"

namespace mspforge {

// Appends one record to output, in this layout (every "\n" one LF):
//   "Name: " compoundName "\n"
//   key ": " value "\n"             for each libraryFields entry, key order
//   "Comments:" (" " key "=" value for each commentFields entry) "\n"
//   "Num Peaks: " <number of peak lines> "\n"
//   each peak line exactly as read, bringing its own line end
//   "\n"                            an empty line ends the record
// Texts are written whole, byte for byte: nothing is checked, quoted,
// escaped or trimmed. Reports nothing itself: a failed write shows in
// output.failed.
void writeMspRecord(MspOutput& output, const CompoundName& compoundName,
                    const FieldMap& libraryFields,
                    const FieldMap& commentFields, const PeakLines& peakLines);

}  // namespace mspforge
