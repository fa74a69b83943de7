#include "mspforge/mspforge.h"

#include <gtest/gtest.h>

#include <string>

#include "test_files.h"

namespace mspforge {
namespace {

using namespace std::string_literals;

std::string write(const CompoundName& name, const FieldMap& library,
                  const FieldMap& comments, const PeakLines& peaks) {
  MspOutput output = mspOutputToMemory();
  writeMspRecord(output, name, library, comments, peaks);
  EXPECT_FALSE(output.failed);
  return output.text;
}

TEST(MspWriterTest, CaffeineRecordIs183Bytes) {
  FieldMap library;
  library.set("Spectrum_type", "MS2");
  library.set("Precursor_type", "[M+H]+");
  library.set("PrecursorMZ", "195.0877");
  library.set("Ion_mode", "P");
  FieldMap comments;
  comments.set("TITLE", "caffeine scan 12");
  comments.set("SCANS", "12");
  comments.set("CHARGE", "1+");
  PeakLines peaks;
  peaks.append("51.0229 12.5\n");
  peaks.append("110.0713\t100\n");
  const std::string record = write("Caffeine", library, comments, peaks);
  EXPECT_EQ(record,
            "Name: Caffeine\n"
            "Ion_mode: P\n"
            "PrecursorMZ: 195.0877\n"
            "Precursor_type: [M+H]+\n"
            "Spectrum_type: MS2\n"
            "Comments: CHARGE=1+ SCANS=12 TITLE=caffeine scan 12\n"
            "Num Peaks: 2\n"
            "51.0229 12.5\n"
            "110.0713\t100\n"
            "\n");
  EXPECT_EQ(record.size(), 183u);
}

TEST(MspWriterTest, GlycineRecordWithoutCommentsIs90Bytes) {
  FieldMap library;
  library.set("PrecursorMZ", "76.0393");
  library.set("Spectrum_type", "MS2");
  PeakLines peaks;
  peaks.append("30.0338 100\n");
  const std::string record = write("Glycine", library, FieldMap(), peaks);
  EXPECT_EQ(record,
            "Name: Glycine\n"
            "PrecursorMZ: 76.0393\n"
            "Spectrum_type: MS2\n"
            "Comments:\n"
            "Num Peaks: 1\n"
            "30.0338 100\n"
            "\n");
  EXPECT_EQ(record.size(), 90u);
}

TEST(MspWriterTest, TextsAreWrittenWholeAndUnchanged) {
  FieldMap library;
  library.set("Formula", "");
  FieldMap comments;
  comments.set("TITLE", "a=b c");
  comments.set("EMPTY", "");
  comments.set("K\0"s, "v\0w"s);
  PeakLines peaks;
  peaks.append("  7 8 extra column  \n");
  peaks.append("9\0 1\n"s);
  peaks.append("10 2");  // the last line of an input without a line end
  EXPECT_EQ(write("N\0x"s, library, comments, peaks),
            "Name: N\0x\n"
            "Formula: \n"
            "Comments: EMPTY= K\0=v\0w TITLE=a=b c\n"
            "Num Peaks: 3\n"
            "  7 8 extra column  \n"
            "9\0 1\n"
            "10 2\n"s);
}

TEST(MspWriterTest, RecordsFollowOneAnotherInOneOutput) {
  FieldMap library;
  library.set("PrecursorMZ", "1");
  PeakLines peaks;
  peaks.append("5 5\n");
  MspOutput output = mspOutputToMemory();
  writeMspRecord(output, "A", library, FieldMap(), peaks);
  writeMspRecord(output, "B", library, FieldMap(), peaks);
  EXPECT_EQ(output.text,
            "Name: A\nPrecursorMZ: 1\nComments:\nNum Peaks: 1\n5 5\n\n"
            "Name: B\nPrecursorMZ: 1\nComments:\nNum Peaks: 1\n5 5\n\n");
}

// Windows text files end lines with CR LF. The translation is plain code,
// so it is checked here on every platform by asking for it.
TEST(MspWriterTest, CrLfLineEndsTurnEveryLfIntoCrLf) {
  struct Case {
    const char* what;
    std::string peaks;  // one peak line, written as it stands
  };
  const std::string huge(3u << 20, 'x');  // past the direct-write size
  const Case cases[] = {
      {"plain peak line", "5 5\n"},
      {"a CR already before the LF stays in front of the pair", "5 5\r\n"},
      {"lone CRs and LF pairs", "\r5\r\n\n\r\r\n"},
      {"a line past the output buffer", huge + "\n" + huge + "\n"},
      {"no LF at all", "5 5"},
  };
  for (const Case& c : cases) {
    test::TempDir dir;
    test::writeFile(dir.path("out.msp"), "");
    FieldMap library;
    library.set("PrecursorMZ", "1");
    PeakLines peaks;
    peaks.append(c.peaks);
    std::string lfText;
    {
      test::OpenDescriptor file(dir.path("out.msp"), true);
      MspOutput output = mspOutputToFd(file.fd());
      output.crlfLineEnds = true;
      MspOutput memory = mspOutputToMemory();
      for (MspOutput* out : {&output, &memory}) {
        writeMspRecord(*out, "A", library, FieldMap(), peaks);
        writeMspRecord(*out, "B", library, FieldMap(), peaks);
      }
      ASSERT_TRUE(flushAll(output)) << c.what;
      lfText = memory.text;
    }
    std::string expected;
    for (char byte : lfText) {
      if (byte == '\n') expected += '\r';
      expected += byte;
    }
    const std::string written = test::readFile(dir.path("out.msp"));
    EXPECT_EQ(written.size(), expected.size()) << c.what;
    EXPECT_TRUE(written == expected) << c.what;
  }
}

}  // namespace
}  // namespace mspforge
