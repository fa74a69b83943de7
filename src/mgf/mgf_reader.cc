#include "mgf/mgf_reader.h"

#include <algorithm>

#include "mgf/mgf_input.h"
#include "mgf/mgf_signature.h"
#include "mgf/peak_threshold.h"

namespace mspforge {
namespace {

constexpr std::string_view kBeginIons = "BEGIN IONS";
constexpr std::string_view kEndIons = "END IONS";
constexpr std::uint64_t kNoOffset = static_cast<std::uint64_t>(-1);

void storeHeaderLine(std::string_view line, std::size_t equals,
                     FieldMap& sourceFields) {
  std::string_view key = line.substr(0, equals);
  if (std::find(IgnoredSourceKeys.begin(), IgnoredSourceKeys.end(), key) !=
      IgnoredSourceKeys.end()) {
    return;
  }
  std::string_view value = line.substr(equals + 1);
  if (!value.empty() && value.back() == '\n') value.remove_suffix(1);
  if (value == NotAvailableValue) return;
  sourceFields.setView(key, value);
}

// Whether the line the input stands at starts at or past its search
// limit. The first line starts at a byte-order mark skipped before it.
bool reachedSearchLimit(const MgfInput& input) {
  const std::uint64_t at = input.windowOffset + input.begin;
  const std::uint64_t lineStart =
      at == input.afterMark ? at - kByteOrderMark.size() : at;
  return lineStart >= input.searchLimit;
}

}  // namespace

bool readMgfRecord(MgfInput& input, FieldMap& sourceFields,
                   PeakLines& peakLines) {
  sourceFields.clear();
  peakLines.clear();
  std::string_view line;
  std::size_t equals;
  do {
    if (input.searchLimit != kNoOffset && reachedSearchLimit(input)) {
      // What follows belongs to the part after this one: leave it unread.
      input.stoppedAtLimit = true;
      return false;
    }
    if (!readLine(input, line, equals)) return false;
    ++input.linesRead;
  } while (!line.starts_with(kBeginIons));
  if (input.firstRecordOffset == kNoOffset) {
    input.firstRecordOffset =
        input.windowOffset + static_cast<std::uint64_t>(line.data() - input.data);
  }
  input.recordLine = input.linesRead;

  // The record's fields and peak lines are views into the input, so the
  // bytes from the record's first line on must stay where they are. When
  // the record runs past the bytes at hand, more input is made available
  // keeping them, from its "BEGIN IONS" line on, and the record is read
  // again from its start. A stream whose next bytes have not arrived
  // leaves the input at that line, to be read again once they have.
  std::size_t beginLine = static_cast<std::size_t>(line.data() - input.data);
  std::size_t recordStart = input.begin;
  LineScanner scanner(input);
  // Lines of this reading of the record; a record read again from its
  // start counts them again.
  std::uint64_t lines = 0;
  for (;;) {
    if (!scanner.next(line, equals)) {
      scanner.store(input);
      if (!input.atEnd) {
        const std::size_t offset = recordStart - beginLine;
        moreInput(input, beginLine);
        recordStart = beginLine + offset;
        if (input.starved) {
          // The "BEGIN IONS" line is read again when the bytes come.
          input.begin = beginLine;
          --input.linesRead;
          return false;
        }
        input.begin = recordStart;
        lines = 0;
        sourceFields.clear();
        peakLines.clear();
        scanner = LineScanner(input);
        continue;
      }
      if (!takeLastLine(input, line, equals)) return false;
      scanner = LineScanner(input);
    }
    ++lines;
    if (equals != std::string_view::npos) {
      storeHeaderLine(line, equals, sourceFields);
    } else if (line.starts_with(kEndIons)) {
      scanner.store(input);
      input.linesRead += lines;
      return true;
    } else if (leadingNumberAtLeastOne(line)) {
      peakLines.appendView(line);
    }
  }
}

}  // namespace mspforge
