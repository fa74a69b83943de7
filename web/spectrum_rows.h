// What the page shows of a conversion besides the library itself: a row
// per spectrum read, for its table, and the counts of its overview.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "mspforge/mspforge.h"

namespace mspforge::web {

// The numbers of one row, in this order, kRowNumbers to a spectrum.
enum RowNumber {
  kRowLine,         // its BEGIN IONS line, counted from the slice's start
  kRowPrecursorMz,  // NaN when it has none that reads as a number
  kRowPeaks,        // peak lines that count
  kRowFate,         // RecordOutcome::Fate: 0 written, 1 no peaks,
                    // 2 rejected, 3 no END IONS
  kRowNumbers
};

// The rows and counts of one conversion, built as its records go by.
class SpectrumRows {
 public:
  void add(const RecordOutcome& outcome);

  // A row's texts, one line each: the command's report columns after the
  // first two (name, outcome, missing, precursor_type,
  // precursor_type_from), then the precursor m/z as written, the ion mode
  // and the spectrum type, tab-separated and escaped as the report
  // escapes them.
  const std::string& texts() const { return texts_; }
  const std::vector<double>& numbers() const { return numbers_; }
  std::size_t size() const { return numbers_.size() / kRowNumbers; }

  // The written spectra counted by ion mode, Precursor_type and spectrum
  // type, and histograms of their precursor m/z (bins of 10) and peaks,
  // as a JSON object (see spectrum_rows.cc).
  std::string countsJson() const;

 private:
  std::string texts_;
  std::vector<double> numbers_;
  std::map<std::string, std::int64_t, std::less<>> ionModes_;
  std::map<std::string, std::int64_t, std::less<>> precursorTypes_;
  std::map<std::string, std::int64_t, std::less<>> spectrumTypes_;
  std::map<std::int64_t, std::int64_t> precursorMzBins_;
  std::map<std::int64_t, std::int64_t> peakBins_;
};

// A tally as numbers, for a page that sums the tallies of its slices, and
// back; the order is the page's too (its TALLY_FIELDS).
std::vector<double> tallyNumbers(const ConversionTally& tally);
ConversionTally tallyFromNumbers(const double* numbers);

}  // namespace mspforge::web
