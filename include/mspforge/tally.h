// What a conversion counts, and the tally line and summary the command
// prints from the counts (see mspforge/mspforge.h for the conversions).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace mspforge {

// What a conversion counted. 64-bit, so no input is too large to count.
struct ConversionTally {
  std::int64_t totalSpectra = 0;         // complete records read
  std::int64_t ignoredSpectra = 0;       // of them, those without peak lines
  std::int64_t unrecognizedSpectra = 0;  // with peaks, but rejected
  // Why the rejected ones were rejected: each is counted under every
  // thing it lacks, so these may add up to more than unrecognizedSpectra.
  std::int64_t withoutName = 0;         // no NAME, COMPOUND_NAME or TITLE
  std::int64_t withoutMsLevel = 0;      // no MSLEVEL or MS_LEVEL
  std::int64_t withoutPrecursorMz = 0;  // no PEPMASS or PRECURSOR_MZ
  std::int64_t lackingSeveral = 0;      // rejected for more than one
  // Of the rejected: those with neither an MS level nor a precursor m/z
  // (MS1 or EI spectra, by the look of them).
  std::int64_t withoutMsLevelAndPrecursorMz = 0;
  // Of those without a name: those with a FEATURE_ID, SCANS or SPECTRUMID
  // header line, which a name can be made from (--name).
  std::int64_t unnamedWithFeatureId = 0;
  std::int64_t unnamedWithScans = 0;
  std::int64_t unnamedWithSpectrumId = 0;
  // Records without END IONS (the next BEGIN IONS line or the end of the
  // input came first): never written, and not among totalSpectra.
  std::int64_t unterminatedSpectra = 0;
  std::uint64_t firstUnterminatedLine = 0;  // its BEGIN IONS line, from 1
  // Peak lines written in the NIST layout that hold a number in exponent
  // form ("1.9e+04") or a third column, which other readers misread.
  std::int64_t peakLinesInExponentForm = 0;
  std::int64_t peakLinesWithMoreColumns = 0;
  // Peak lines the other layouts left out: no m/z and intensity they can
  // write in plain decimal digits ("inf 5", "100", "100 -3"). A spectrum
  // left without any counts as one without peaks.
  std::int64_t peakLinesLeftOut = 0;
  // Written spectra whose Precursor_type is a guess from their CHARGE
  // alone ("[M+H]+" for 1): no ADDUCT, ION or PRECURSORTYPE line stated
  // it, and their name holds none.
  std::int64_t adductsFromCharge = 0;

  std::int64_t writtenSpectra() const {
    return totalSpectra - ignoredSpectra - unrecognizedSpectra;
  }
};

// The command's tally line, with its line end:
//   "Total spectra = N[ Ignored spectra(no peaks) = N][ Unrecognized format
//   N spectra]\n", each optional piece only when its count is not 0.
std::string formatTally(const ConversionTally& tally);

// Whom a summary's remedies speak to: the command ("add --default
// MSLEVEL=2"), Python ('pass defaults={"MSLEVEL": "2"}') or the page (its
// own controls; remedies it has none for are left out).
enum class SummaryVoice { Command, Python, Page };

// What was not written and why, for the user, in lines each beginning
// "mspforge: " and ending in LF, with what would bring the spectra in; ""
// when every spectrum read was written. An input without any record gets a
// guess at what it is instead, from its first bytes (inputHead: as stored,
// compressed or not).
std::string formatSummary(const ConversionTally& tally,
                          std::string_view inputHead = {},
                          SummaryVoice voice = SummaryVoice::Command);

}  // namespace mspforge
