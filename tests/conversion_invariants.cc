#include "conversion_invariants.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <map>
#include <memory>
#include <vector>

#include "app/parallel_conversion.h"
#include "mgf/input_decoding.h"
#include "mgf/mgf_input.h"
#include "mgf/peak_threshold.h"
#include "mspforge/mspforge.h"
#include "peak_numbers.h"

namespace mspforge::test {
namespace {

constexpr std::array<std::string_view, 10> kLibraryKeys = {
    "Collision_energy", "Formula",      "InChIKey",       "Instrument",
    "Instrument_type",  "Ion_mode",     "Ionization",     "PrecursorMZ",
    "Precursor_type",   "Spectrum_type"};

// Cuts text into lines, each without its LF; false when the text does not
// end with an LF (or is empty, which is fine).
struct LineCursor {
  std::string_view rest;
  bool next(std::string_view& line) {
    std::size_t lf = rest.find('\n');
    if (lf == std::string_view::npos) return false;
    line = rest.substr(0, lf);
    rest.remove_prefix(lf + 1);
    return true;
  }
};

bool isPositiveDecimal(std::string_view text) {
  return !text.empty() && text.size() < 19 && text.front() != '0' &&
         std::all_of(text.begin(), text.end(),
                     [](char c) { return c >= '0' && c <= '9'; });
}

// The lines of bytes as an MGF reader sees them: up to a 0x1A, without a
// byte-order mark at the start, cut after each LF, CR LF read as LF, the
// last line without its LF if it has none.
std::vector<std::string> plainLines(std::string_view bytes) {
  std::string_view text = bytes.substr(0, bytes.find('\x1A'));
  if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
  std::vector<std::string> lines;
  while (!text.empty()) {
    const std::size_t lf = text.find('\n');
    std::string line(
        text.substr(0, lf == std::string_view::npos ? text.size() : lf + 1));
    text.remove_prefix(line.size());
    if (line.ends_with("\r\n")) line.erase(line.size() - 2, 1);
    lines.push_back(line);
  }
  return lines;
}

// Checks one record starting at the cursor; "" when it is well formed.
std::string checkRecord(LineCursor& cursor) {
  std::string_view line;
  if (!cursor.next(line) || !line.starts_with("Name: ") || line.size() == 6) {
    return "record does not start with a non-empty Name line";
  }
  std::string_view previousKey;
  bool spectrumType = false;
  bool precursorMz = false;
  for (;;) {
    if (!cursor.next(line)) return "record ends before its Comments line";
    if (line.starts_with("Comments:")) break;
    std::size_t colon = line.find(": ");
    std::string_view key = line.substr(0, colon);
    if (colon == std::string_view::npos ||
        std::find(kLibraryKeys.begin(), kLibraryKeys.end(), key) ==
            kLibraryKeys.end()) {
      return "unexpected field line: " + std::string(line.substr(0, 80));
    }
    if (!previousKey.empty() && !(previousKey < key)) {
      return "field lines out of order at " + std::string(key);
    }
    previousKey = key;
    spectrumType = spectrumType || key == "Spectrum_type";
    precursorMz = precursorMz || key == "PrecursorMZ";
  }
  if (!spectrumType || !precursorMz) {
    return "written record lacks Spectrum_type or PrecursorMZ";
  }
  if (!cursor.next(line) || !line.starts_with("Num Peaks: ") ||
      !isPositiveDecimal(line.substr(11))) {
    return "bad Num Peaks line";
  }
  long peaks = std::stol(std::string(line.substr(11)));
  for (long i = 0; i < peaks; ++i) {
    if (!cursor.next(line)) return "fewer peak lines than Num Peaks";
    if (line.find('=') != std::string_view::npos ||
        !leadingNumberAtLeastOne(line)) {
      return "not a peak line: " + std::string(line.substr(0, 80));
    }
  }
  if (!cursor.next(line) || !line.empty()) {
    return "record does not end with one empty line";
  }
  return "";
}

}  // namespace

std::string checkConversionInvariants(std::string_view mgf) {
  std::string msp;
  ConversionTally tally;
  const ConversionResult result = convertBytes(mgf, msp, tally);
  // Only damaged gzip data may end the conversion early, as a read error.
  if (result != ConversionResult::Complete &&
      !(result == ConversionResult::ReadFailed && mgf.starts_with("\x1F\x8B"))) {
    return "in-memory conversion did not complete";
  }
  std::string again;
  ConversionTally tallyAgain;
  if (convertBytes(mgf, again, tallyAgain) != result) {
    return "conversion is not deterministic";
  }
  if (again != msp || formatTally(tally) != formatTally(tallyAgain)) {
    return "conversion is not deterministic";
  }
  LineCursor cursor{msp};
  std::int64_t written = 0;
  while (!cursor.rest.empty()) {
    std::string problem = checkRecord(cursor);
    if (!problem.empty()) {
      return "record " + std::to_string(written + 1) + ": " + problem;
    }
    ++written;
  }
  if (tally.ignoredSpectra < 0 || tally.unrecognizedSpectra < 0 ||
      tally.totalSpectra !=
          tally.ignoredSpectra + tally.unrecognizedSpectra + written) {
    return "tally " + formatTally(tally) + " does not add up to " +
           std::to_string(written) + " written";
  }
  return "";
}

namespace {

// The numbers of a peak line for Python, the plain way: C white space
// skipped, one "+" allowed, then std::from_chars; NaN from the first that
// fails on.
void plainPeakNumbers(std::string_view line, double out[2]) {
  out[0] = out[1] = std::numeric_limits<double>::quiet_NaN();
  const char* at = line.data();
  const char* const end = at + line.size();
  for (int i = 0; i < 2; ++i) {
    while (at < end && isCSpace(*at)) ++at;
    const char* from = at < end && *at == '+' ? at + 1 : at;
    double value;
    const auto [next, ec] = std::from_chars(from, end, value);
    if (ec != std::errc()) return;
    out[i] = value;
    at = next;
  }
}

bool sameNumber(double a, double b) {
  return (std::isnan(a) && std::isnan(b)) || std::memcmp(&a, &b, sizeof a) == 0;
}

// readPeakNumbers on a copy of line followed by exactly the padding it may
// read, of digits, so that reading further shows (to the sanitizers) and
// a digit taken from beyond the line shows in the value.
bool peakNumbersAgree(std::string_view line) {
  const std::size_t size = line.size() + python::kPeakLinePadding;
  const auto copy = std::make_unique<char[]>(size);
  std::memcpy(copy.get(), line.data(), line.size());
  std::memset(copy.get() + line.size(), '7', python::kPeakLinePadding);
  double fast[2];
  double plain[2];
  python::readPeakNumbers(std::string_view(copy.get(), line.size()), fast);
  plainPeakNumbers(line, plain);
  return sameNumber(fast[0], plain[0]) && sameNumber(fast[1], plain[1]);
}

}  // namespace

std::string checkFastPathsAgainstReference(std::string_view bytes) {
  const std::vector<std::string> expected = plainLines(bytes);
  MgfInput input = mgfInputFromBytes(bytes);
  FieldMap fast;
  std::map<std::string, std::string> reference;
  std::string_view line;
  std::size_t equals = 0;
  std::size_t n = 0;
  while (readLine(input, line, equals)) {
    if (n >= expected.size() || line != expected[n]) {
      return "line " + std::to_string(n + 1) + " differs from a plain split";
    }
    if (equals != line.find('=')) {
      return "line " + std::to_string(n + 1) + ": wrong position of its \"=\"";
    }
    const std::string copy(line);
    if (leadingNumberAtLeastOne(line) !=
        (std::strtod(copy.c_str(), nullptr) >= 1.0)) {
      return "peak test differs from strtod on line " + std::to_string(n + 1);
    }
    if (!peakNumbersAgree(line)) {
      return "peak numbers differ from from_chars on line " +
             std::to_string(n + 1);
    }
    std::string_view key = line.substr(0, equals);
    std::string_view value =
        equals == std::string_view::npos ? "" : line.substr(equals + 1);
    fast.set(key, value);
    reference[std::string(key)] = std::string(value);
    if ((n & (n + 1)) == 0 || (n % 7 == 0 && n < 2000)) {
      // Read between writes too: the map sorts lazily and merges.
      const std::string_view* found = fast.find(key);
      if (found == nullptr || *found != value) return "FieldMap lost a key";
    }
    ++n;
  }
  if (n != expected.size()) return "the line reader stopped early";
  if (fast.size() != reference.size()) return "FieldMap size differs";
  auto it = reference.begin();
  for (const Field& field : fast) {
    if (field.key != it->first || field.value != it->second) {
      return "FieldMap order or value differs from std::map";
    }
    ++it;
  }
  return "";
}

namespace {

struct PlainRecord {
  std::map<std::string, std::string> fields;
  std::vector<std::string> peaks;
  bool operator==(const PlainRecord&) const = default;
};

// The complete records of bytes, read by the rules one line at a time: a
// record runs from a line beginning "BEGIN IONS" to one beginning "END
// IONS", and one that meets another "BEGIN IONS" line first is dropped.
std::vector<PlainRecord> plainRecords(std::string_view bytes) {
  std::vector<PlainRecord> records;
  const std::vector<std::string> lines = plainLines(bytes);
  std::size_t i = 0;
  for (;;) {
    while (i < lines.size() && lines[i].rfind("BEGIN IONS", 0) != 0) ++i;
    if (i == lines.size()) return records;
    ++i;
    PlainRecord record;
    bool ended = false;
    for (; i < lines.size() && !ended; ++i) {
      const std::string& line = lines[i];
      const std::size_t equals = line.find('=');
      if (line.rfind("BEGIN IONS", 0) == 0) {
        break;  // unfinished: this line begins the next record
      }
      if (equals != std::string::npos) {
        const std::string key = line.substr(0, equals);
        std::string value = line.substr(equals + 1);
        if (!value.empty() && value.back() == '\n') value.pop_back();
        if (key == "USI" || key == "EXACTMASS" || value == "N/A") continue;
        record.fields[key] = value;
      } else if (line.rfind("END IONS", 0) == 0) {
        ended = true;
      } else if (std::strtod(line.c_str(), nullptr) >= 1.0) {
        record.peaks.push_back(line);
      }
    }
    if (ended) records.push_back(record);
  }
}

// The columns of a peak line, split at bytes up to 0x20 (blanks, tabs, CRs
// and other control bytes, and its LF).
std::vector<std::string> plainColumns(const std::string& line) {
  std::vector<std::string> columns;
  std::string column;
  for (char c : line) {
    if (static_cast<unsigned char>(c) <= 0x20) {
      if (!column.empty()) columns.push_back(column);
      column.clear();
    } else {
      column += c;
    }
  }
  if (!column.empty()) columns.push_back(column);
  return columns;
}

std::string compareRecords(MgfInput& input,
                           const std::vector<PlainRecord>& expected,
                           const char* how) {
  FieldMap fields;
  PeakLines peaks;
  std::size_t n = 0;
  while (readMgfRecord(input, fields, peaks)) {
    PlainRecord record;
    for (const Field& field : fields) {
      record.fields[std::string(field.key)] = std::string(field.value);
    }
    std::string runs;
    for (std::string_view run : peaks.runs()) runs += run;
    std::string lines;
    std::int64_t exponentLines = 0;
    std::int64_t moreColumnLines = 0;
    if (n < expected.size()) {
      for (const std::string& peak : expected[n].peaks) {
        lines += peak;
        const std::vector<std::string> columns = plainColumns(peak);
        exponentLines +=
            columns.size() > 0 &&
                    (columns[0].find_first_of("eE") != std::string::npos ||
                     (columns.size() > 1 &&
                      columns[1].find_first_of("eE") != std::string::npos))
                ? 1
                : 0;
        moreColumnLines += columns.size() > 2 ? 1 : 0;
      }
      record.peaks = expected[n].peaks;
    }
    if (n >= expected.size() || !(record == expected[n]) || runs != lines ||
        peaks.size() != expected[n].peaks.size() ||
        peaks.exponentLines() != exponentLines ||
        peaks.moreColumnLines() != moreColumnLines) {
      return std::string(how) + ": record " + std::to_string(n + 1) +
             " differs from the plain reading";
    }
    ++n;
  }
  if (n != expected.size()) {
    return std::string(how) + ": " + std::to_string(n) + " records, not " +
           std::to_string(expected.size());
  }
  return "";
}

}  // namespace

std::string checkReaderAgainstReference(std::string_view bytes) {
  const std::vector<PlainRecord> expected = plainRecords(bytes);
  MgfInput memory = mgfInputFromBytes(bytes);
  std::string problem = compareRecords(memory, expected, "from memory");
  if (!problem.empty()) return problem;
  // A few bytes at a time into a small buffer, the sizes drawn from the
  // bytes themselves so that each input is read the same way every time.
  std::size_t at = 0;
  std::size_t draw = bytes.size();
  MgfInput pieces = mgfInputFromReader([&](char* into, std::size_t room) {
    draw = draw * 6364136223846793005u + 1442695040888963407u;
    const std::size_t take =
        std::min({room, bytes.size() - at, 1 + (draw >> 59)});
    std::memcpy(into, bytes.data() + at, take);
    at += take;
    return static_cast<std::ptrdiff_t>(take);
  });
  pieces.blockSize = 16 + bytes.size() % 48;
  return compareRecords(pieces, expected, "in small pieces");
}

std::string checkStreamingAgainstWhole(std::string_view bytes) {
  std::string whole;
  ConversionTally wholeTally;
  convertBytes(bytes, whole, wholeTally);
  std::string streamed;
  StreamingConversion conversion(
      [&streamed](std::string_view msp) { streamed.append(msp); });
  std::size_t draw = bytes.size() ^ 0x9E3779B97F4A7C15u;
  for (std::size_t at = 0; at < bytes.size();) {
    draw = draw * 6364136223846793005u + 1442695040888963407u;
    const std::size_t piece = std::min(bytes.size() - at, 1 + (draw >> 56));
    conversion.feed(bytes.substr(at, piece));
    at += piece;
  }
  const ConversionTally tally = conversion.finish();
  if (formatTally(tally) != formatTally(wholeTally) ||
      formatSummary(tally) != formatSummary(wholeTally)) {
    return "streamed tally " + formatTally(tally) + formatSummary(tally) +
           " differs";
  }
  if (streamed != whole) return "streamed output differs";
  return "";
}

std::string checkChunkedAgainstWhole(std::string_view bytes) {
  // Chunks work on the bytes as stored; decoded input is converted whole.
  if (needsDecoding(bytes)) return "";
  std::string whole;
  ConversionTally wholeTally;
  convertBytes(bytes, whole, wholeTally);
  // Each chunk reads from a copy of the rest of the input, so the chunks
  // are a few bytes long on small inputs (as the fuzzer makes them) and
  // at most a few dozen on any input.
  const std::size_t n = bytes.size();
  std::vector<std::size_t> sizes = {n / 37 + 1, n / 5 + 1};
  if (n <= 4096) sizes.insert(sizes.end(), {1, 3, 1 + n % 97});
  // Chunks converted one after another test where they are cut; the first
  // size is also converted on two threads, as a file is.
  for (const std::size_t chunk : sizes) {
    std::string chunked;
    ConversionTally tally;
    const unsigned threads = chunk == sizes.front() ? 2 : 1;
    if (convertBytesInChunks(bytes, chunked, tally, chunk, threads) !=
        ConversionResult::Complete) {
      return "chunked conversion did not complete";
    }
    if (formatTally(tally) != formatTally(wholeTally) ||
        formatSummary(tally) != formatSummary(wholeTally)) {
      return "chunks of " + std::to_string(chunk) + " bytes: tally " +
             formatTally(tally) + formatSummary(tally) + " differs";
    }
    if (chunked != whole) {
      return "chunks of " + std::to_string(chunk) + " bytes: output differs";
    }
  }
  return "";
}

}  // namespace mspforge::test
