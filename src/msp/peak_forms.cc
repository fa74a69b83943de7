#include "msp/peak_forms.h"

#include "mspforge/read_integer.h"

namespace mspforge {
namespace {

// The end of the run of blanks (C white space other than LF) from at.
std::size_t blanksEnd(std::string_view line, std::size_t at) {
  while (at < line.size() && line[at] != '\n' && isCSpace(line[at])) ++at;
  return at;
}

// The end of the word from at; exponent is set when it holds "e" or "E".
std::size_t wordEnd(std::string_view line, std::size_t at, bool& exponent) {
  while (at < line.size() && !isCSpace(line[at])) {
    exponent = exponent || line[at] == 'e' || line[at] == 'E';
    ++at;
  }
  return at;
}

}  // namespace

void countPeakLineForms(const PeakLines& peakLines, ConversionTally& tally) {
  for (std::size_t i = 0; i < peakLines.size(); ++i) {
    const std::string_view line = peakLines[i];
    bool exponent = false;
    std::size_t at = wordEnd(line, blanksEnd(line, 0), exponent);
    at = wordEnd(line, blanksEnd(line, at), exponent);
    at = blanksEnd(line, at);
    tally.peakLinesInExponentForm += exponent ? 1 : 0;
    tally.peakLinesWithMoreColumns +=
        at < line.size() && line[at] != '\n' ? 1 : 0;
  }
}

}  // namespace mspforge
