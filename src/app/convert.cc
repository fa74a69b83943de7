#include "mspforge/mspforge.h"

#include <cstring>
#include <utility>

#include "msp/msp_output.h"

namespace mspforge {

namespace {

// One set of containers for a whole conversion: each step empties what it
// fills, and the containers keep their capacity from record to record.
struct RecordContainers {
  FieldMap sourceFields;
  FieldMap libraryFields;
  FieldMap commentFields;
  PeakLines peakLines;
  CompoundName compoundName;
};

// Converts the records that the input yields now, counting them; stops
// early, false, when a write failed.
bool convertAvailableRecords(MgfInput& input, MspOutput& output,
                             ConversionTally& tally, RecordContainers& c) {
  while (readMgfRecord(input, c.sourceFields, c.peakLines)) {
    ++tally.totalSpectra;
    if (c.peakLines.empty()) {
      ++tally.ignoredSpectra;
      continue;
    }
    if (!translateRecord(c.sourceFields, c.compoundName, c.libraryFields,
                         c.commentFields)) {
      ++tally.unrecognizedSpectra;
      continue;
    }
    writeMspRecord(output, c.compoundName, c.libraryFields, c.commentFields,
                   c.peakLines);
    if (output.failed) return false;
  }
  return true;
}

}  // namespace

ConversionResult convertRecords(MgfInput& input, MspOutput& output,
                                ConversionTally& tally) {
  RecordContainers containers;

  // Peak lines go out as spans of the input, written before the input
  // moves on; a translated output copies them. A mapped input's windows
  // outlive the reader's use of them until the spans in them are written,
  // so the writer thread need not be waited for; a buffer is overwritten
  // when it moves, so it must be.
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

  if (!convertAvailableRecords(input, output, tally, containers)) {
    return ConversionResult::WriteFailed;
  }
  if (input.failed) return ConversionResult::ReadFailed;
  if (!flushAll(output)) return ConversionResult::WriteFailed;
  return ConversionResult::Complete;
}

// The input of a streaming conversion reads from the pieces fed so far;
// when they are used up before the end, the reader is starved and the
// record it was reading waits, whole, for the next piece.
struct StreamingConversion::State {
  std::string pending;    // fed bytes not yet taken by the input
  std::size_t taken = 0;  // of them, those already taken
  bool finished = false;
  std::uint64_t fed = 0;
  MgfInput input;
  MspOutput output = mspOutputToMemory();
  RecordContainers containers;
  ConversionTally tally;
  std::function<void(std::string_view)> emit;

  void convert() {
    convertAvailableRecords(input, output, tally, containers);
    if (!output.text.empty()) {
      emit(output.text);
      output.text.clear();
    }
  }
};

StreamingConversion::StreamingConversion(
    std::function<void(std::string_view)> output)
    : state_(std::make_unique<State>()) {
  state_->emit = std::move(output);
  State* state = state_.get();
  state->input = mgfInputFromReader([state](char* into, std::size_t room) {
    const std::size_t left = state->pending.size() - state->taken;
    if (left == 0) return state->finished ? std::ptrdiff_t{0} : kNoBytesYet;
    const std::size_t take = left < room ? left : room;
    std::memcpy(into, state->pending.data() + state->taken, take);
    state->taken += take;
    return static_cast<std::ptrdiff_t>(take);
  });
}

StreamingConversion::~StreamingConversion() = default;

void StreamingConversion::feed(std::string_view bytes) {
  State& state = *state_;
  state.pending.erase(0, state.taken);
  state.taken = 0;
  state.pending.append(bytes);
  state.fed += bytes.size();
  state.convert();
}

ConversionTally StreamingConversion::finish() {
  state_->finished = true;
  state_->convert();
  return state_->tally;
}

const ConversionTally& StreamingConversion::tally() const {
  return state_->tally;
}

std::uint64_t StreamingConversion::bytesFed() const { return state_->fed; }

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
