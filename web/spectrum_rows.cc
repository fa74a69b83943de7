#include "spectrum_rows.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <string_view>
#include <type_traits>

#include "app/report.h"

namespace mspforge::web {
namespace {

// The peaks-per-spectrum histogram: a bin for each count up to its bound.
constexpr std::int64_t kPeakBinBounds[] = {5, 10, 20, 50, 100, 200, 500, 1000};
constexpr const char* kPeakBinLabels[] = {"1-5",     "6-10",    "11-20",
                                          "21-50",   "51-100",  "101-200",
                                          "201-500", "501-1000", "over 1000"};
constexpr double kMzBinWidth = 10;

std::string_view fieldOf(const FieldMap* fields, std::string_view key) {
  if (fields == nullptr) return {};
  const std::string_view* value = fields->find(key);
  return value != nullptr ? *value : std::string_view{};
}

// The leading number of a precursor m/z, for sorting and histograms (the
// table shows the text): digits, a point and digits, within a few units
// in the last place; NaN when the text begins with none.
double leadingNumber(std::string_view text) {
  std::size_t i = 0;
  const bool negative = i < text.size() && text[i] == '-';
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) ++i;
  double value = 0;
  bool any = false;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i, any = true) {
    value = value * 10 + (text[i] - '0');
  }
  if (i < text.size() && text[i] == '.') {
    double scale = 1;
    for (++i; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i, any = true) {
      scale /= 10;
      value += (text[i] - '0') * scale;
    }
  }
  if (!any) return std::numeric_limits<double>::quiet_NaN();
  if (i + 1 < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    const std::size_t digits = text[i + 1] == '-' || text[i + 1] == '+' ? i + 2 : i + 1;
    int exponent = 0;
    for (std::size_t j = digits; j < text.size() && text[j] >= '0' && text[j] <= '9' &&
                                 exponent < 400; ++j) {
      exponent = exponent * 10 + (text[j] - '0');
    }
    value *= std::pow(10.0, text[i + 1] == '-' ? -exponent : exponent);
  }
  return negative ? -value : value;
}

// Counts one more of key, making its entry only the first time.
void countOf(std::map<std::string, std::int64_t, std::less<>>& counts,
             std::string_view key) {
  const auto found = counts.find(key);
  if (found != counts.end()) {
    ++found->second;
  } else {
    counts.emplace(std::string(key), 1);
  }
}

void appendJsonString(std::string& out, std::string_view text) {
  out += '"';
  for (char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (byte < 0x20) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", byte);
      out += escaped;
    } else {
      out += c;
    }
  }
  out += '"';
}

template <typename Map>
void appendJsonCounts(std::string& out, const char* name, const Map& counts) {
  out += '"';
  out += name;
  out += "\":[";
  const char* separator = "";
  for (const auto& [key, count] : counts) {
    out += separator;
    out += '[';
    if constexpr (std::is_same_v<typename Map::key_type, std::string>) {
      appendJsonString(out, key);
    } else {
      out += std::to_string(key);
    }
    out += ',' + std::to_string(count) + ']';
    separator = ",";
  }
  out += ']';
}

}  // namespace

void SpectrumRows::add(const RecordOutcome& outcome) {
  appendReportColumns(texts_, outcome);
  const std::string_view precursorMz =
      fieldOf(outcome.libraryFields, "PrecursorMZ");
  const std::string_view ionMode = fieldOf(outcome.libraryFields, "Ion_mode");
  const std::string_view spectrumType =
      fieldOf(outcome.libraryFields, "Spectrum_type");
  for (std::string_view text : {precursorMz, ionMode, spectrumType}) {
    texts_ += '\t';
    appendEscaped(texts_, text);
  }
  texts_ += '\n';
  const double mz = leadingNumber(precursorMz);
  numbers_.push_back(static_cast<double>(outcome.line));
  numbers_.push_back(mz);
  numbers_.push_back(static_cast<double>(outcome.peakLines));
  numbers_.push_back(static_cast<double>(outcome.fate));
  if (outcome.fate != RecordOutcome::Fate::Written) return;
  countOf(ionModes_, ionMode);
  countOf(precursorTypes_, outcome.precursorType != nullptr
                               ? *outcome.precursorType
                               : std::string_view());
  countOf(spectrumTypes_, spectrumType);
  if (!std::isnan(mz)) {
    ++precursorMzBins_[static_cast<std::int64_t>(std::floor(mz / kMzBinWidth))];
  }
  std::int64_t bin = 0;
  for (const std::int64_t bound : kPeakBinBounds) {
    if (static_cast<std::int64_t>(outcome.peakLines) <= bound) break;
    ++bin;
  }
  ++peakBins_[bin];
}

// {"ionModes": [[text, n]...], "precursorTypes": [...], "spectrumTypes":
// [...], "precursorMzBins": [[bin, n]...] (bin k: m/z from 10k to 10k+10),
// "peakBins": [[bin, n]...], "peakBinLabels": [...]}; a text "" is none.
std::string SpectrumRows::countsJson() const {
  std::string out = "{";
  appendJsonCounts(out, "ionModes", ionModes_);
  out += ',';
  appendJsonCounts(out, "precursorTypes", precursorTypes_);
  out += ',';
  appendJsonCounts(out, "spectrumTypes", spectrumTypes_);
  out += ',';
  appendJsonCounts(out, "precursorMzBins", precursorMzBins_);
  out += ',';
  appendJsonCounts(out, "peakBins", peakBins_);
  out += ",\"peakBinLabels\":[";
  const char* separator = "";
  for (const char* label : kPeakBinLabels) {
    out += separator;
    appendJsonString(out, label);
    separator = ",";
  }
  return out + "]}";
}

std::vector<double> tallyNumbers(const ConversionTally& t) {
  return {static_cast<double>(t.totalSpectra),
          static_cast<double>(t.ignoredSpectra),
          static_cast<double>(t.unrecognizedSpectra),
          static_cast<double>(t.withoutName),
          static_cast<double>(t.withoutMsLevel),
          static_cast<double>(t.withoutPrecursorMz),
          static_cast<double>(t.lackingSeveral),
          static_cast<double>(t.withoutMsLevelAndPrecursorMz),
          static_cast<double>(t.unnamedWithFeatureId),
          static_cast<double>(t.unnamedWithScans),
          static_cast<double>(t.unnamedWithSpectrumId),
          static_cast<double>(t.unterminatedSpectra),
          static_cast<double>(t.firstUnterminatedLine),
          static_cast<double>(t.peakLinesInExponentForm),
          static_cast<double>(t.peakLinesWithMoreColumns),
          static_cast<double>(t.peakLinesLeftOut),
          static_cast<double>(t.adductsFromCharge)};
}

ConversionTally tallyFromNumbers(const double* n) {
  ConversionTally t;
  std::int64_t* const counts[] = {
      &t.totalSpectra, &t.ignoredSpectra, &t.unrecognizedSpectra,
      &t.withoutName, &t.withoutMsLevel, &t.withoutPrecursorMz,
      &t.lackingSeveral, &t.withoutMsLevelAndPrecursorMz,
      &t.unnamedWithFeatureId, &t.unnamedWithScans, &t.unnamedWithSpectrumId,
      &t.unterminatedSpectra};
  std::size_t i = 0;
  for (std::int64_t* count : counts) *count = static_cast<std::int64_t>(n[i++]);
  t.firstUnterminatedLine = static_cast<std::uint64_t>(n[i++]);
  t.peakLinesInExponentForm = static_cast<std::int64_t>(n[i++]);
  t.peakLinesWithMoreColumns = static_cast<std::int64_t>(n[i++]);
  t.peakLinesLeftOut = static_cast<std::int64_t>(n[i++]);
  t.adductsFromCharge = static_cast<std::int64_t>(n[i++]);
  return t;
}

}  // namespace mspforge::web
