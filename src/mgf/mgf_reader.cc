#include "mgf/mgf_reader.h"

#include "mgf/body_scanner.h"
#include "mgf/mgf_input.h"

namespace mspforge {
namespace {

constexpr std::string_view kBeginIons = "BEGIN IONS";
constexpr std::size_t kNoPosition = static_cast<std::size_t>(-1);

// Outside a record only whether a line begins with "BEGIN IONS" matters,
// so a longer line that does not is passed over without being kept: junk
// between records (a file of zeros, a binary file) takes no memory.
constexpr std::size_t kLongestKeptJunk = std::size_t{64} << 10;

// The usual start of a record, taken without the line scanner: blank
// lines, if any, then "BEGIN IONS" alone on its line. True with beginLine
// at it and the input standing behind it, as findRecordStart leaves them.
bool takeBareRecordStart(MgfInput& input, std::size_t& beginLine) {
  constexpr std::string_view kBareLine = "BEGIN IONS\n";
  if (input.data == nullptr || input.skippingLine) return false;
  std::size_t at = input.begin;
  while (at < input.end && input.data[at] == '\n') ++at;
  if (input.end - at < kBareLine.size() ||
      std::string_view(input.data + at, kBareLine.size()) != kBareLine) {
    return false;
  }
  input.linesRead += at - input.begin + 1;
  input.recordLine = input.linesRead;
  input.begin = at + kBareLine.size();
  input.scanFrom = kNoPosition;  // the line scanner stands elsewhere
  beginLine = at;
  return true;
}

// Finds the next "BEGIN IONS" line, or takes the one that ended the
// previous, unfinished record. True with beginLine at its first byte and
// the input standing behind it; false when there is none before the end.
bool findRecordStart(MgfInput& input, std::size_t& beginLine) {
  if (input.pendingBegin != kNoPosition) {
    beginLine = input.pendingBegin;
    input.pendingBegin = kNoPosition;
    input.recordLine = input.pendingLine;
    return true;
  }
  if (takeBareRecordStart(input, beginLine)) return true;
  std::string_view line;
  std::size_t equals;
  if (input.skippingLine) {
    if (!skipToNextLine(input)) return false;
    input.skippingLine = false;
  }
  for (;;) {
    if (readWholeLine(input, line, equals)) {
      ++input.linesRead;
      if (line.starts_with(kBeginIons)) break;
      continue;
    }
    if (input.atEnd) {
      if (!takeLastLine(input, line, equals)) return false;
      ++input.linesRead;
      if (line.starts_with(kBeginIons)) break;
      return false;
    }
    const std::string_view partial(input.data + input.begin,
                                   input.end - input.begin);
    if (partial.size() >= kLongestKeptJunk &&
        !partial.starts_with(kBeginIons)) {
      ++input.linesRead;
      if (!skipToNextLine(input)) {
        input.skippingLine = input.starved;
        return false;
      }
      continue;
    }
    std::size_t keep = input.begin;
    moreInput(input, keep);  // leaves input.begin at the bytes kept
    input.scanFrom = kNoPosition;
    if (input.starved) return false;
  }
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
  // Lines of this reading of the record; a record read again from its
  // start counts them again.
  std::uint64_t lines = 0;
  const auto delivered = [&](RecordEnd end) {
    input.linesRead += lines;
    return end;
  };
  const auto endedByNextRecord = [&](std::size_t nextBegin) {
    const RecordEnd end = delivered(RecordEnd::Unfinished);
    // That line begins the next record, which must not be merged into
    // this one (a download cut short, files joined).
    input.pendingBegin = nextBegin;
    input.pendingLine = input.linesRead;
    return end;
  };
  for (;;) {
    const BodyScan scan = scanRecordBody(input, sourceFields, peakLines);
    lines += scan.lines;
    if (scan.stop == BodyScan::EndIons) return delivered(RecordEnd::EndIons);
    if (scan.stop == BodyScan::BeginIons) {
      return endedByNextRecord(scan.lineStart);
    }
    if (!input.atEnd) {
      const std::size_t offset = recordStart - beginLine;
      moreInput(input, beginLine);
      recordStart = beginLine + offset;
      input.scanFrom = kNoPosition;
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
      continue;
    }
    // The input ended inside the record (a read error is no record); its
    // last line may lack a line end.
    if (input.failed) return RecordEnd::NoMore;
    if (input.begin < input.end) {
      const std::size_t lineStart = input.begin;
      const std::string_view last(input.data + lineStart,
                                  input.end - lineStart);
      input.begin = input.end;
      ++lines;
      switch (sortRecordLine(last, sourceFields, peakLines)) {
        case RecordLine::EndIons:
          return delivered(RecordEnd::EndIons);
        case RecordLine::BeginIons:
          return endedByNextRecord(lineStart);
        default:
          break;
      }
    }
    return delivered(RecordEnd::Unfinished);
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
