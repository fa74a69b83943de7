// The records that Python's read_mgf hands out come through RecordStream:
// read ahead on a thread of their own, copied into batches, handed over.
// Whatever the input, read ahead or not, they must be the records
// readMgfRecord reads, in order, with their numbers and line numbers.
#include "record_stream.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "mspforge/mspforge.h"
#include "peak_numbers.h"
#include "synthetic_mgf.h"
#include "test_files.h"

namespace mspforge::python {
namespace {

struct Expected {
  std::vector<std::pair<std::string, std::string>> fields;
  std::vector<std::string> lines;
  std::uint64_t line = 0;
};

std::vector<Expected> readerRecords(const std::string& mgf) {
  std::vector<Expected> records;
  MgfInput input = mgfInputFromBytes(mgf);
  FieldMap fields;
  PeakLines lines;
  while (readMgfRecord(input, fields, lines)) {
    Expected& record = records.emplace_back();
    for (const Field& field : fields) {
      record.fields.emplace_back(field.key, field.value);
    }
    lines.forEachLine(
        [&](std::string_view line) { record.lines.emplace_back(line); });
    record.line = input.recordLine;
  }
  return records;
}

// Checks the k-th record of a batch against the expected records.
void expectRecord(const RecordBatch& batch, const RecordBatch::Entry& entry,
                  const std::vector<Expected>& expected) {
  ASSERT_GE(entry.number, 1);
  ASSERT_LE(static_cast<std::size_t>(entry.number), expected.size());
  const Expected& want = expected[static_cast<std::size_t>(entry.number - 1)];
  EXPECT_EQ(entry.line, want.line) << "record " << entry.number;
  // The fields come as the record has them; as SourceFields they are the
  // reader's.
  FieldMap fields;
  PeakLines unused;
  batch.toContainers(entry, fields, unused);
  ASSERT_EQ(fields.size(), want.fields.size()) << "record " << entry.number;
  std::size_t i = 0;
  for (const Field& field : fields) {
    EXPECT_EQ(field.key, want.fields[i].first);
    EXPECT_EQ(field.value, want.fields[i].second);
    ++i;
  }
  ASSERT_EQ(entry.lineCount, want.lines.size()) << "record " << entry.number;
  const std::vector<std::string_view> lines = batch.peakLines(entry);
  ASSERT_EQ(lines.size(), want.lines.size()) << "record " << entry.number;
  for (i = 0; i < lines.size(); ++i) {
    EXPECT_EQ(lines[i], want.lines[i]);
  }
  // The peaks, read run by run, are the numbers of each line on its own.
  std::vector<double> peaks(2 * entry.lineCount);
  batch.readPeaks(entry, peaks.data());
  for (i = 0; i < want.lines.size(); ++i) {
    const std::string padded = want.lines[i] + std::string(kPeakLinePadding, '\0');
    double numbers[2];
    readPeakNumbers(std::string_view(padded.data(), want.lines[i].size()),
                    numbers);
    for (int k = 0; k < 2; ++k) {
      const double got = peaks[2 * i + static_cast<std::size_t>(k)];
      EXPECT_TRUE(got == numbers[k] || (got != got && numbers[k] != numbers[k]))
          << "record " << entry.number << " line " << i;
    }
  }
}

TEST(RecordStreamTest, GivesTheRecordsOfTheReaderReadAheadOrNot) {
  std::vector<std::pair<std::string, std::string>> inputs = {
      {"empty", ""},
      {"one record", test::kOneRecord},
      {"record without END IONS", test::kOneRecord + "BEGIN IONS\n1 2\n"},
      {"keys twice, dropped keys",
       "BEGIN IONS\nTITLE=a\nCHARGE=1\nTITLE=b\nUSI=x\nNAME=N/A\nTITLE=c\n"
       "10 2\n0.5 1\n11 3\nEND IONS\n"},
      // Several batches of records, with CR LF line ends.
      {"synthetic", test::makeSyntheticMgf(3000, 7)},
  };
  std::string crlf;
  for (char c : inputs.back().second) {
    if (c == '\n') crlf += '\r';
    crlf += c;
  }
  inputs.emplace_back("synthetic CR LF", crlf);
  for (const char* name :
       {"gnps-library-pesticides.mgf", "crlf-with-comment-lines.mgf",
        "mascot-global-params-charge-column.mgf"}) {
    inputs.emplace_back(name, test::readFile(std::string(MSPFORGE_TEST_DATA) +
                                             "/corpus/" + name));
  }
  for (const auto& [name, mgf] : inputs) {
    const std::vector<Expected> expected = readerRecords(mgf);
    for (const bool readAhead : {false, true}) {
      SCOPED_TRACE(name + (readAhead ? ", read ahead" : ""));
      RecordStream stream(mgfInputFromBytes(mgf), readAhead);
      std::int64_t count = 0;
      std::size_t batches = 0;
      while (const RecordBatch* batch = stream.next()) {
        ++batches;
        for (const RecordBatch::Entry& entry : batch->entries) {
          EXPECT_EQ(entry.number, ++count);
          expectRecord(*batch, entry, expected);
          // A record kept beyond its batch keeps its bytes.
          const auto copy = batch->copyOf(entry);
          expectRecord(*copy, copy->entries.front(), expected);
        }
      }
      EXPECT_EQ(count, static_cast<std::int64_t>(expected.size()));
      EXPECT_FALSE(stream.failed());
      if (readAhead && expected.size() > 1000) {
        EXPECT_GT(batches, 2u);
      }
    }
  }
}

TEST(RecordStreamTest, StopsWhileReadingAhead) {
  const std::string mgf = test::makeSyntheticMgf(5000, 3);
  for (int taken = 0; taken < 3; ++taken) {
    RecordStream stream(mgfInputFromBytes(mgf), true);
    for (int i = 0; i < taken; ++i) ASSERT_NE(stream.next(), nullptr);
    stream.stop();
    EXPECT_EQ(stream.next(), nullptr);
  }
}

}  // namespace
}  // namespace mspforge::python
