#include "app/record_loop.h"

#include <algorithm>

#include "mgf/mgf_reader.h"
#include "translate/translate_record.h"

namespace mspforge {
namespace {

// The name a report gives a record that was not translated.
std::string_view untranslatedName(const FieldMap& sourceFields) {
  for (std::string_view key : {"NAME", "COMPOUND_NAME", "TITLE"}) {
    if (const std::string_view* value = sourceFields.findLast(key)) {
      if (!value->empty()) return *value;
    }
  }
  return {};
}

void countRejection(const TranslationNotes& notes,
                    const FieldMap& sourceFields, ConversionTally& tally) {
  int lacks = 0;
  if (notes.lacksName) {
    ++tally.withoutName;
    ++lacks;
  }
  if (notes.lacksMsLevel) {
    ++tally.withoutMsLevel;
    ++lacks;
  }
  if (notes.lacksPrecursorMz) {
    ++tally.withoutPrecursorMz;
    ++lacks;
  }
  tally.lackingSeveral += lacks > 1 ? 1 : 0;
  tally.withoutMsLevelAndPrecursorMz +=
      notes.lacksMsLevel && notes.lacksPrecursorMz ? 1 : 0;
  if (notes.lacksName) {
    tally.unnamedWithFeatureId += (sourceFields.findLast("FEATURE_ID") != nullptr) ? 1 : 0;
    tally.unnamedWithScans += (sourceFields.findLast("SCANS") != nullptr) ? 1 : 0;
    tally.unnamedWithSpectrumId += (sourceFields.findLast("SPECTRUMID") != nullptr) ? 1 : 0;
  }
}

// Writes an accepted record in the layout options ask for; false when the
// layout could write none of its peak lines, so that nothing was written.
bool writeRecord(MspOutput& output, RecordContainers& c,
                 const ConversionOptions& options, ConversionTally& tally) {
  if (options.layout == LibraryLayout::Nist) {
    writeMspRecord(output, c.compoundName, c.libraryFields, c.commentFields,
                   c.peakLines);
    tally.peakLinesInExponentForm += c.peakLines.exponentLines();
    tally.peakLinesWithMoreColumns += c.peakLines.moreColumnLines();
    return true;
  }
  if (!c.layoutWriter) {
    c.layoutWriter = std::make_unique<LayoutWriter>(options.layout);
  }
  return c.layoutWriter->write(output, c.compoundName, c.libraryFields,
                               c.commentFields, c.sourceFields, c.peakLines,
                               tally.peakLinesLeftOut);
}

void countUnfinished(const MgfInput& input, ConversionTally& tally) {
  if (tally.unterminatedSpectra++ == 0) {
    tally.firstUnterminatedLine = input.recordLine;
  }
}

}  // namespace

// The defaults that can take effect: a line with a key the reader drops,
// or with the value "N/A", would itself be dropped.
std::vector<Field> effectiveDefaults(const ConversionOptions& options) {
  std::vector<Field> defaults;
  for (const auto& [key, value] : options.defaults) {
    if (value == NotAvailableValue ||
        std::find(IgnoredSourceKeys.begin(), IgnoredSourceKeys.end(), key) !=
            IgnoredSourceKeys.end()) {
      continue;
    }
    defaults.push_back(Field{key, value});
  }
  return defaults;
}

// Where the input stands in its source, for progress.
std::uint64_t inputPosition(const MgfInput& input) {
  if (input.sourcePosition) return input.sourcePosition();
  return input.bytesTaken - (input.end - input.begin);
}

// Converts the records that the input yields now, counting them; stops
// early, false, when a write failed.
bool convertAvailableRecords(MgfInput& input, MspOutput& output,
                             ConversionTally& tally, RecordContainers& c,
                             const ConversionOptions& options,
                             const std::vector<Field>& defaults) {
  TranslationNotes notes;
  for (;;) {
    const RecordEnd end = readNextMgfRecord(input, c.sourceFields, c.peakLines);
    if (end == RecordEnd::NoMore) break;
    using Fate = RecordOutcome::Fate;
    Fate fate = Fate::Written;
    if (end == RecordEnd::Unfinished) {
      countUnfinished(input, tally);
      fate = Fate::Unfinished;
    } else {
      ++tally.totalSpectra;
      for (const Field& field : defaults) {
        if (c.sourceFields.findLast(field.key) == nullptr) {
          c.sourceFields.appendView(field.key, field.value);
        }
      }
      const bool hasPeaks = !c.peakLines.empty();
      const bool accepted =
          hasPeaks && translateRecord(c.sourceFields, c.compoundName,
                                      c.libraryFields, c.commentFields,
                                      &notes, options.nameTemplate,
                                      c.translationMemory);
      if (hasPeaks && !accepted) {
        ++tally.unrecognizedSpectra;
        countRejection(notes, c.sourceFields, tally);
        fate = Fate::Rejected;
      } else if (!accepted || !writeRecord(output, c, options, tally)) {
        // No peak lines, or none that the layout can write.
        ++tally.ignoredSpectra;
        fate = Fate::NoPeaks;
      } else if (output.failed) {
        return false;
      } else if (notes.adductSource == AdductSource::Charge) {
        ++tally.adductsFromCharge;
      }
    }
    const std::int64_t read = tally.totalSpectra + tally.unterminatedSpectra;
    if (options.onRecord) {
      RecordOutcome outcome;
      outcome.fate = fate;
      outcome.number = read;
      outcome.line = input.recordLine;
      outcome.peakLines = c.peakLines.size();
      if (fate == Fate::NoPeaks || fate == Fate::Unfinished) {
        outcome.name = untranslatedName(c.sourceFields);
      } else {
        outcome.name = c.compoundName;
        outcome.notes = notes;
        outcome.precursorType = c.libraryFields.find("Precursor_type");
        outcome.libraryFields = &c.libraryFields;
      }
      options.onRecord(outcome);
    }
    if (options.progress != nullptr) {
      options.progress->spectra.store(read, std::memory_order_relaxed);
      options.progress->bytesRead.store(inputPosition(input),
                                        std::memory_order_relaxed);
    }
  }
  return true;
}

}  // namespace mspforge
