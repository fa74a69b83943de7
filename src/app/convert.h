// The record loop of a conversion and its tally.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "mgf/mgf_input.h"
#include "msp/msp_output.h"

namespace mspforge {

// What a conversion counted. Records written = totalSpectra -
// ignoredSpectra - unrecognizedSpectra. 64-bit, so no input is too large
// to count.
struct ConversionTally {
  std::int64_t totalSpectra = 0;         // records the reader delivered
  std::int64_t ignoredSpectra = 0;       // of them, those without peak lines
  std::int64_t unrecognizedSpectra = 0;  // with peaks, but rejected

  std::int64_t writtenSpectra() const {
    return totalSpectra - ignoredSpectra - unrecognizedSpectra;
  }
};

enum class ConversionResult {
  Complete,     // the input was read to its end and every record written
  ReadFailed,   // a read error ended the input early
  WriteFailed,  // a write to the output failed
};

// Converts every record of input onto output, counting into tally, and
// stops at once on a read or write failure. Flushes everything written, so
// output holds the whole result when Complete is returned.
ConversionResult convertRecords(MgfInput& input, MspOutput& output,
                                ConversionTally& tally);

// Converts MGF bytes held in memory into MSP text (appended to msp).
// Cannot fail: returns what convertRecords returns, always Complete.
ConversionResult convertBytes(std::string_view mgf, std::string& msp,
                              ConversionTally& tally);

// The tally line, with its line end:
//   "Total spectra = N[ Ignored spectra(no peaks) = N][ Unrecognized format
//   N spectra]\n", each optional piece only when its count is not 0.
std::string formatTally(const ConversionTally& tally);

}  // namespace mspforge
