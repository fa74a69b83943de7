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
constexpr std::size_t kNoPosition = static_cast<std::size_t>(-1);

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

// The offset in the whole input of the line that starts at position of
// the bytes at hand. The first line starts at a byte-order mark skipped
// before it.
std::uint64_t lineOffset(const MgfInput& input, std::size_t position) {
  const std::uint64_t at = input.windowOffset + position;
  return at == input.afterMark ? at - kByteOrderMark.size() : at;
}

bool pastSearchLimit(const MgfInput& input, std::size_t lineStart) {
  return input.searchLimit != kNoOffset &&
         lineOffset(input, lineStart) >= input.searchLimit;
}

// Finds the next "BEGIN IONS" line, or takes the one that ended the
// previous, unfinished record. True with beginLine at its first byte and
// the input standing behind it; false when there is none before the end
// (or the search limit).
bool findRecordStart(MgfInput& input, std::size_t& beginLine) {
  if (input.pendingBegin != kNoPosition) {
    beginLine = input.pendingBegin;
    input.pendingBegin = kNoPosition;
    if (pastSearchLimit(input, beginLine)) {
      // It begins the part after this one, which reads it itself.
      input.begin = beginLine;
      input.scanFrom = kNoPosition;
      --input.linesRead;
      input.stoppedAtLimit = true;
      return false;
    }
    input.recordLine = input.pendingLine;
    return true;
  }
  std::string_view line;
  std::size_t equals;
  do {
    if (pastSearchLimit(input, input.begin)) {
      // What follows belongs to the part after this one: leave it unread.
      input.stoppedAtLimit = true;
      return false;
    }
    if (!readLine(input, line, equals)) return false;
    ++input.linesRead;
  } while (!line.starts_with(kBeginIons));
  beginLine = static_cast<std::size_t>(line.data() - input.data);
  input.recordLine = input.linesRead;
  return true;
}

}  // namespace

RecordEnd readNextMgfRecord(MgfInput& input, FieldMap& sourceFields,
                            PeakLines& peakLines) {
  sourceFields.clear();
  peakLines.clear();
  std::size_t beginLine;
  if (!findRecordStart(input, beginLine)) return RecordEnd::NoMore;

  // The record's fields and peak lines are views into the input, so the
  // bytes from the record's first line on must stay where they are. When
  // the record runs past the bytes at hand, more input is made available
  // keeping them, from its "BEGIN IONS" line on, and the record is read
  // again from its start. A stream whose next bytes have not arrived
  // leaves the input at that line, to be read again once they have.
  std::size_t recordStart = input.begin;
  LineScanner scanner(input);
  std::string_view line;
  std::size_t equals;
  // Lines of this reading of the record; a record read again from its
  // start counts them again.
  std::uint64_t lines = 0;
  auto delivered = [&](RecordEnd end) {
    scanner.store(input);
    input.linesRead += lines;
    input.recordOffset = lineOffset(input, beginLine);
    return end;
  };
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
          return RecordEnd::NoMore;
        }
        input.begin = recordStart;
        lines = 0;
        sourceFields.clear();
        peakLines.clear();
        scanner = LineScanner(input);
        continue;
      }
      if (!takeLastLine(input, line, equals)) {
        // The input ended inside the record (a read error is no record).
        return input.failed ? RecordEnd::NoMore
                            : delivered(RecordEnd::Unfinished);
      }
      scanner = LineScanner(input);
    }
    ++lines;
    if (equals != std::string_view::npos) {
      if (!line.starts_with(kBeginIons)) {
        storeHeaderLine(line, equals, sourceFields);
        continue;
      }
    } else if (line.starts_with(kEndIons)) {
      return delivered(RecordEnd::EndIons);
    } else if (!line.starts_with(kBeginIons)) {
      if (leadingNumberAtLeastOne(line)) peakLines.appendView(line);
      continue;
    }
    // A "BEGIN IONS" line, whatever follows it: the record was never ended
    // (a download cut short, files joined), and this line begins the next
    // one, which must not be merged into it.
    const RecordEnd end = delivered(RecordEnd::Unfinished);
    input.pendingBegin = static_cast<std::size_t>(line.data() - input.data);
    input.pendingLine = input.linesRead;
    return end;
  }
}

bool readMgfRecord(MgfInput& input, FieldMap& sourceFields,
                   PeakLines& peakLines) {
  for (;;) {
    switch (readNextMgfRecord(input, sourceFields, peakLines)) {
      case RecordEnd::EndIons:
        return true;
      case RecordEnd::NoMore:
        return false;
      case RecordEnd::Unfinished:
        break;  // not a record: go on with the next
    }
  }
}

}  // namespace mspforge
