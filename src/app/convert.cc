#include "mspforge/mspforge.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "app/record_loop.h"
#include "mgf/input_decoding.h"
#include "msp/msp_output.h"

namespace mspforge {

ConversionResult convertRecords(MgfInput& input, MspOutput& output,
                                ConversionTally& tally,
                                const ConversionOptions& options) {
  RecordContainers containers;
  const std::vector<Field> defaults = effectiveDefaults(options);
  if (!convertAvailableRecords(input, output, tally, containers, options,
                               defaults)) {
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
  ConversionOptions options;
  std::vector<Field> defaults;  // views into options
  std::shared_ptr<const InputProbe> probe;
  MgfInput input;
  MspOutput output = mspOutputToMemory();
  RecordContainers containers;
  ConversionTally tally;
  std::function<void(std::string_view)> emit;

  void convert() {
    if (!input.failed) {
      convertAvailableRecords(input, output, tally, containers, options,
                              defaults);
    }
    if (!output.text.empty()) {
      emit(output.text);
      output.text.clear();
    }
  }
};

StreamingConversion::StreamingConversion(
    std::function<void(std::string_view)> output,
    const ConversionOptions& options)
    : state_(std::make_unique<State>()) {
  state_->emit = std::move(output);
  state_->options = options;
  state_->defaults = effectiveDefaults(state_->options);
  State* state = state_.get();
  state->input = decodingInputFromReader(
      [state](char* into, std::size_t room) {
        const std::size_t left = state->pending.size() - state->taken;
        if (left == 0) {
          return state->finished ? std::ptrdiff_t{0} : kNoBytesYet;
        }
        const std::size_t take = left < room ? left : room;
        std::memcpy(into, state->pending.data() + state->taken, take);
        state->taken += take;
        return static_cast<std::ptrdiff_t>(take);
      },
      &state->probe);
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

std::uint64_t StreamingConversion::linesRead() const {
  return state_->input.linesRead;
}

bool StreamingConversion::stoppedAtEndMark() const {
  return state_->input.endMarkSeen;
}

bool StreamingConversion::failed() const { return state_->input.failed; }

const std::string& StreamingConversion::failure() const {
  return state_->input.failure;
}

const std::string& StreamingConversion::inputHead() const {
  return state_->probe->head;
}

ConversionResult convertBytes(std::string_view mgf, std::string& msp,
                              ConversionTally& tally,
                              const ConversionOptions& options) {
  MgfInput input;
  if (needsDecoding(mgf)) {
    std::size_t at = 0;
    input = decodingInputFromReader([mgf, at](char* into,
                                              std::size_t room) mutable {
      const std::size_t take = std::min(room, mgf.size() - at);
      if (take > 0) std::memcpy(into, mgf.data() + at, take);
      at += take;
      return static_cast<std::ptrdiff_t>(take);
    });
  } else {
    input = mgfInputFromBytes(mgf);
  }
  MspOutput output = mspOutputToMemory();
  output.text.swap(msp);
  ConversionResult result = convertRecords(input, output, tally, options);
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
