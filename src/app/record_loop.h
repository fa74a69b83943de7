// The record loop that every conversion runs: read a record, give it the
// defaults, translate it, write it, count it.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "msp/layout_writer.h"
#include "mspforge/mspforge.h"
#include "translate/translation_memory.h"

namespace mspforge {

// One set of containers for a whole conversion: each step empties what it
// fills, and the containers keep their capacity from record to record.
struct RecordContainers {
  FieldMap sourceFields;
  FieldMap libraryFields;
  FieldMap commentFields;
  PeakLines peakLines;
  CompoundName compoundName;
  // What translation worked out for the sequences of keys seen lately.
  TranslationMemory translationMemory;
  // The writer of a layout other than NIST's, made on first use.
  std::unique_ptr<LayoutWriter> layoutWriter;
};

// The defaults of options that can take effect, as views into options: a
// line with a key the reader drops, or with the value "N/A", would itself
// be dropped.
std::vector<Field> effectiveDefaults(const ConversionOptions& options);

// Where the input stands in its source, for progress.
std::uint64_t inputPosition(const MgfInput& input);

// Converts the records that the input yields now onto output, counting
// them into tally and telling options.onRecord and options.progress;
// false, early, when a write failed.
bool convertAvailableRecords(MgfInput& input, MspOutput& output,
                             ConversionTally& tally, RecordContainers& c,
                             const ConversionOptions& options,
                             const std::vector<Field>& defaults);

}  // namespace mspforge
