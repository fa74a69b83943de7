#include "mgf/mgf_reader.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "test_files.h"

namespace mspforge {
namespace {

using Fields = std::map<std::string, std::string>;
using Lines = std::vector<std::string>;

struct Record {
  Fields fields;
  Lines peaks;
  bool operator==(const Record&) const = default;
};

Record recordOf(const FieldMap& fields, const PeakLines& peaks) {
  Record record;
  for (const Field& field : fields) {
    record.fields[std::string(field.key)] = std::string(field.value);
  }
  peaks.forEachLine(
      [&](std::string_view line) { record.peaks.emplace_back(line); });
  return record;
}

// Every record that readMgfRecord delivers from bytes, in order.
std::vector<Record> readAll(const std::string& bytes) {
  MgfInput input = mgfInputFromBytes(bytes);
  FieldMap fields;
  PeakLines peaks;
  std::vector<Record> records;
  while (readMgfRecord(input, fields, peaks)) {
    records.push_back(recordOf(fields, peaks));
  }
  return records;
}

std::string nul(const char* text, std::size_t size) {
  return std::string(text, size);
}

TEST(MgfReaderTest, EachKindOfLineInsideARecord) {
  struct Case {
    std::string line;  // without its LF
    Record expected;
  };
  const std::vector<Case> cases = {
      {"TITLE=Spectrum 1", {{{"TITLE", "Spectrum 1"}}, {}}},
      {"PEPMASS=301.1 1200", {{{"PEPMASS", "301.1 1200"}}, {}}},
      {"NAME=a=b", {{{"NAME", "a=b"}}, {}}},
      {"PEPMASS = 301.1", {{{"PEPMASS ", " 301.1"}}, {}}},
      {"FORMULA=", {{{"FORMULA", ""}}, {}}},
      {"=5", {{{"", "5"}}, {}}},
      {"CHARGE=N/A", {}},
      {"CHARGE=n/a", {{{"CHARGE", "n/a"}}, {}}},
      {"CHARGE=N/A ", {{{"CHARGE", "N/A "}}, {}}},
      {"USI=abc", {}},
      {"EXACTMASS=300", {}},
      {"usi=abc", {{{"usi", "abc"}}, {}}},
      {"USI =abc", {{{"USI ", "abc"}}, {}}},
      {"EXACTMASS2=1", {{{"EXACTMASS2", "1"}}, {}}},
      {"101.0 250", {{}, {"101.0 250\n"}}},
      {"  99.5\t12", {{}, {"  99.5\t12\n"}}},
      {"1 100", {{}, {"1 100\n"}}},
      {"0.5 100", {}},
      {"0.99 100", {}},
      {"102.1 33 note=x", {{{"102.1 33 note", "x"}}, {}}},
      {"#comment", {}},
      {"", {}},
      {"END IONS=1", {{{"END IONS", "1"}}, {}}},
      {" END IONS", {}},
      {"end ions", {}},
      {"BEGIN IONS", {}},
      // NUL is an ordinary byte: it cuts neither key, value nor peak line.
      {nul("TI\0LE=a\0b", 9), {{{nul("TI\0LE", 5), nul("a\0b", 3)}}, {}}},
      {nul("12\0 5", 5), {{}, {nul("12\0 5\n", 6)}}},
  };
  for (const Case& c : cases) {
    std::vector<Record> records =
        readAll("BEGIN IONS\n" + c.line + "\nEND IONS\n");
    ASSERT_EQ(records.size(), 1u) << c.line;
    EXPECT_EQ(records[0], c.expected) << c.line;
  }
}

TEST(MgfReaderTest, CompleteExample) {
  const std::string input =
      "CHARGE=2+\n"
      "BEGIN IONS\n"
      "TITLE=x\n"
      "CHARGE=1+\n"
      "100.5 20\n"
      "CHARGE=N/A\n"
      "0.2 5\n"
      "EXACTMASS=300\n"
      "TITLE=y\n"
      "END IONS\n";
  MgfInput mgf = mgfInputFromBytes(input);
  FieldMap fields;
  PeakLines peaks;
  ASSERT_TRUE(readMgfRecord(mgf, fields, peaks));
  EXPECT_EQ(recordOf(fields, peaks),
            (Record{{{"CHARGE", "1+"}, {"TITLE", "y"}}, {"100.5 20\n"}}));
  EXPECT_FALSE(readMgfRecord(mgf, fields, peaks));
  EXPECT_FALSE(mgf.failed);
}

TEST(MgfReaderTest, RecordBoundaries) {
  struct Case {
    const char* name;
    std::string input;
    std::vector<Record> expected;
  };
  const Record empty;
  const Record a{{{"T", "a"}}, {}};
  const std::vector<Case> cases = {
      {"empty input", "", {}},
      {"no record start", "TITLE=a\n100 1\nEND IONS\n", {}},
      {"begin then end", "BEGIN IONS\nEND IONS\n", {empty}},
      {"unfinished last record", "BEGIN IONS\nT=a\nEND IONS\nBEGIN IONS\nT=b\n",
       {a}},
      {"lower-case start", "begin ions\nT=a\nEND IONS\n", {}},
      {"start after a blank", " BEGIN IONS\nT=a\nEND IONS\n", {}},
      {"start with more text", "BEGIN IONSX\nT=a\nEND IONS\n", {a}},
      {"start with trailing blanks", "BEGIN IONS  \nT=a\nEND IONS\n", {a}},
      {"start with '='", "BEGIN IONS=1\nT=a\nEND IONS\n", {a}},
      {"end with trailing blank", "BEGIN IONS\nT=a\nEND IONS \n", {a}},
      {"end without line feed", "BEGIN IONS\nT=a\nEND IONS", {a}},
      {"a record without its end is left out, not merged",
       "BEGIN IONS\nT=a\nC=1\n100 1\nBEGIN IONS\nT=b\n200 2\nEND IONS\n",
       {{{{"T", "b"}}, {"200 2\n"}}}},
      {"any line beginning BEGIN IONS ends a record, '=' or not",
       "BEGIN IONS\nT=x\nBEGIN IONS=1\nT=a\nEND IONS\n"
       "BEGIN IONS\nBEGIN IONSX\nT=a\nEND IONS\n",
       {a, a}},
      {"CR LF before the next start",
       "BEGIN IONS\r\nT=x\r\n100 1\r\nBEGIN IONS\r\nT=a\r\nEND IONS\r\n", {a}},
      {"the end-of-file mark cuts the last record",
       "BEGIN IONS\nT=a\nEND IONS\nBEGIN IONS\nT=b\n\x1a" "END IONS\n", {a}},
      {"global parameters have no effect",
       "CHARGE=2+\nBEGIN IONS\nEND IONS\nCHARGE=3+\nBEGIN IONS\nEND IONS\n",
       {empty, empty}},
      {"later N/A keeps the earlier value",
       "BEGIN IONS\nT=a\nT=N/A\nEND IONS\n", {a}},
      {"last line without line feed is a peak without one",
       "BEGIN IONS\n100 1", {}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(readAll(c.input), c.expected) << c.name;
  }
}

// Records cut off by the next "BEGIN IONS", with CR LF line ends, read
// from a file 4 KiB at a time: the next record begins where the cut one
// ends, also when that line lies at the end of the bytes at hand, and the
// line numbers of both kinds of record are those of the file.
TEST(MgfReaderTest, RecordsCutOffByTheNextAcrossRefills) {
  std::string bytes;
  std::vector<std::pair<std::uint64_t, RecordEnd>> starts;  // line, end
  std::uint64_t line = 1;
  for (int i = 0; i < 400; ++i) {
    const bool cut = i % 3 == 1;
    starts.emplace_back(line, cut ? RecordEnd::Unfinished : RecordEnd::EndIons);
    bytes += i % 5 == 0 ? "BEGIN IONS=" + std::to_string(i) + "\r\n"
                        : "BEGIN IONS\r\n";
    bytes += "T=" + std::to_string(i) + "\r\n";
    line += 2;
    for (int p = 0; p < i % 23; ++p, ++line) bytes += "10" + std::to_string(p) + " 1\r\n";
    if (!cut) {
      bytes += "END IONS\r\n";
      ++line;
    }
  }
  test::TempDir dir;
  test::writeFile(dir.path("in.mgf"), bytes);
  test::OpenDescriptor file(dir.path("in.mgf"));
  MgfInput fromFile = mgfInputFromFd(file.fd());
  fromFile.blockSize = 4096;
  MgfInput memory = mgfInputFromBytes(bytes);
  FieldMap fields;
  FieldMap expectedFields;
  PeakLines peaks;
  PeakLines expectedPeaks;
  for (const auto& [expectedLine, expectedEnd] : starts) {
    ASSERT_EQ(readNextMgfRecord(fromFile, fields, peaks), expectedEnd);
    ASSERT_EQ(readNextMgfRecord(memory, expectedFields, expectedPeaks),
              expectedEnd);
    EXPECT_EQ(fromFile.recordLine, expectedLine);
    EXPECT_EQ(recordOf(fields, peaks),
              recordOf(expectedFields, expectedPeaks));
  }
  EXPECT_EQ(readNextMgfRecord(fromFile, fields, peaks), RecordEnd::NoMore);
  EXPECT_FALSE(fromFile.failed);
}

TEST(MgfReaderTest, ContainersAreEmptiedAtEveryCall) {
  MgfInput input = mgfInputFromBytes(
      "BEGIN IONS\nA=1\n100 1\nEND IONS\nBEGIN IONS\nB=2\nEND IONS\n");
  FieldMap fields;
  PeakLines peaks;
  fields.set("stale", "x");
  peaks.append("stale\n");
  ASSERT_TRUE(readMgfRecord(input, fields, peaks));
  EXPECT_EQ(recordOf(fields, peaks), (Record{{{"A", "1"}}, {"100 1\n"}}));
  ASSERT_TRUE(readMgfRecord(input, fields, peaks));
  EXPECT_EQ(recordOf(fields, peaks), (Record{{{"B", "2"}}, {}}));
}

TEST(MgfReaderTest, CrLfFileReadsLikeLfFile) {
  const std::string lf =
      "BEGIN IONS\nTITLE=a b\nCHARGE=1+\n100.5\t20\n  7 8 \nEND IONS\n";
  std::string crlf;
  for (char c : lf) {
    if (c == '\n') crlf += '\r';
    crlf += c;
  }
  std::vector<Record> records = readAll(crlf);
  EXPECT_EQ(records, readAll(lf));
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].fields.at("CHARGE"), "1+");
  EXPECT_EQ(records[0].peaks[1], "  7 8 \n");
}

// A 10,000-byte line buffer would cut these lines; they must arrive whole.
TEST(MgfReaderTest, LongLinesAreReadWhole) {
  for (std::size_t length : {9'998u, 9'999u, 10'000u, 10'001u, 300'000u}) {
    const std::string title(length, 'T');
    // A peak line whose tail, cut off, would itself read as a peak.
    const std::string peak = "100 " + std::string(length, '5');
    std::vector<Record> records = readAll("BEGIN IONS\nTITLE=" + title +
                                          "\n" + peak + "\nEND IONS\n");
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0], (Record{{{"TITLE", title}}, {peak + "\n"}}))
        << length;
  }
}

// No truncation of a file may crash the reader or deliver a record that
// the whole file does not have.
TEST(MgfReaderTest, EveryTruncationOfAFileIsSafe) {
  const std::string file =
      "COM=x\nBEGIN IONS\nTITLE=a\r\nPEPMASS=1 2\n100 1\n2 3\nEND IONS\n\n"
      "BEGIN IONS\nCHARGE=N/A\nUSI=q\n0.5 1\n5e2 1\nEND IONS\n";
  const std::vector<Record> whole = readAll(file);
  ASSERT_EQ(whole.size(), 2u);
  for (std::size_t cut = 0; cut <= file.size(); ++cut) {
    std::vector<Record> records = readAll(file.substr(0, cut));
    ASSERT_LE(records.size(), whole.size());
    for (std::size_t i = 0; i < records.size(); ++i) {
      EXPECT_EQ(records[i], whole[i]) << "cut at " << cut;
    }
  }
}

}  // namespace
}  // namespace mspforge
