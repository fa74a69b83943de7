#include "mspforge/mspforge.h"

#include "msp/msp_output.h"

namespace mspforge {

ConversionResult convertRecords(MgfInput& input, MspOutput& output,
                                ConversionTally& tally) {
  // One set of containers for the whole run: each step empties what it
  // fills, and the containers keep their capacity from record to record.
  FieldMap sourceFields;
  FieldMap libraryFields;
  FieldMap commentFields;
  PeakLines peakLines;
  CompoundName compoundName;

  // Peak lines go out as spans of the input, written before the input
  // moves on; a translated output copies them.
  // A mapped input's windows outlive the reader's use of them until the
  // spans in them are written, so the writer thread need not be waited
  // for; a buffer is overwritten when it moves, so it must be.
  output.spansByReference = output.fd >= 0 && !output.crlfLineEnds;
  if (input.mapped) {
    input.beforeMove = [&output] { flushSoon(output); };
    input.adoptWindow = [&output](void* window, std::size_t size) {
      return adoptInputWindow(output, window, size);
    };
  } else {
    input.beforeMove = [&output] { flushAll(output); };
  }
  struct Detach {
    MgfInput& input;
    MspOutput& output;
    ~Detach() {
      input.beforeMove = nullptr;
      input.adoptWindow = nullptr;
      output.spansByReference = false;
    }
  } detach{input, output};

  while (readMgfRecord(input, sourceFields, peakLines)) {
    ++tally.totalSpectra;
    if (peakLines.empty()) {
      ++tally.ignoredSpectra;
      continue;
    }
    if (!translateRecord(sourceFields, compoundName, libraryFields,
                         commentFields)) {
      ++tally.unrecognizedSpectra;
      continue;
    }
    writeMspRecord(output, compoundName, libraryFields, commentFields,
                   peakLines);
    if (output.failed) return ConversionResult::WriteFailed;
  }
  if (input.failed) return ConversionResult::ReadFailed;
  if (!flushAll(output)) return ConversionResult::WriteFailed;
  return ConversionResult::Complete;
}

ConversionResult convertBytes(std::string_view mgf, std::string& msp,
                              ConversionTally& tally) {
  MgfInput input = mgfInputFromBytes(mgf);
  MspOutput output = mspOutputToMemory();
  output.text.swap(msp);
  ConversionResult result = convertRecords(input, output, tally);
  output.text.swap(msp);
  return result;
}

std::string formatTally(const ConversionTally& tally) {
  std::string line = "Total spectra = " + std::to_string(tally.totalSpectra);
  if (tally.ignoredSpectra != 0) {
    line += " Ignored spectra(no peaks) = " +
            std::to_string(tally.ignoredSpectra);
  }
  if (tally.unrecognizedSpectra != 0) {
    line += " Unrecognized format " +
            std::to_string(tally.unrecognizedSpectra) + " spectra";
  }
  line += '\n';
  return line;
}

}  // namespace mspforge
