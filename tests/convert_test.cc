#include "mspforge/mspforge.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <set>
#include <string>

#include "app/chunk_reader.h"
#include "app/parallel_conversion.h"
#include "mgf/mgf_input.h"
#include "synthetic_mgf.h"
#include "test_files.h"

namespace mspforge {
namespace {

using namespace std::string_literals;

TEST(ConvertTest, TallyLines) {
  struct Case {
    ConversionTally tally;
    const char* line;
  };
  const Case cases[] = {
      {{5, 0, 0}, "Total spectra = 5\n"},
      {{12, 2, 3},
       "Total spectra = 12 Ignored spectra(no peaks) = 2 Unrecognized format "
       "3 spectra\n"},
      {{4, 4, 0}, "Total spectra = 4 Ignored spectra(no peaks) = 4\n"},
      {{7, 0, 1}, "Total spectra = 7 Unrecognized format 1 spectra\n"},
      {{0, 0, 0}, "Total spectra = 0\n"},
      // Counts beyond 32 bits print whole.
      {{5'000'000'000, 2'147'483'648, 0},
       "Total spectra = 5000000000 Ignored spectra(no peaks) = 2147483648\n"},
  };
  for (const Case& c : cases) EXPECT_EQ(formatTally(c.tally), c.line);
}

TEST(ConvertTest, CountsEachFateOfARecord) {
  const std::string mgf =
      "BEGIN IONS\nNAME=A\nMSLEVEL=2\nPEPMASS=1\n100 1\nEND IONS\n"
      "BEGIN IONS\nNAME=B\nMSLEVEL=2\nPEPMASS=1\n0.5 1\nEND IONS\n"
      "BEGIN IONS\nNAME=C\nPEPMASS=1\n100 1\nEND IONS\n"
      "BEGIN IONS\nEND IONS\n"
      "BEGIN IONS\nNAME=D\nMSLEVEL=2\nPEPMASS=1\n7 7\nEND IONS\n"
      "BEGIN IONS\nNAME=E\nMSLEVEL=2\nPEPMASS=1\n100 1\n";
  test::MemoryConversion c = test::convertText(mgf);
  EXPECT_EQ(c.result, ConversionResult::Complete);
  EXPECT_EQ(c.tally.totalSpectra, 5);
  EXPECT_EQ(c.tally.ignoredSpectra, 2);
  EXPECT_EQ(c.tally.unrecognizedSpectra, 1);
  EXPECT_EQ(c.tally.writtenSpectra(), 2);
  EXPECT_EQ(c.msp,
            "Name: A\nPrecursorMZ: 1\nSpectrum_type: MS2\nComments:\n"
            "Num Peaks: 1\n100 1\n\n"
            "Name: D\nPrecursorMZ: 1\nSpectrum_type: MS2\nComments:\n"
            "Num Peaks: 1\n7 7\n\n");
}

TEST(ConvertTest, NulBytesDoNotGlueOutputLines) {
  const std::string mgf =
      "BEGIN IONS\nNAME=A\0B\nMSLEVEL=2\nPEPMASS=1\n100\0 1\n200 2\nEND IONS\n"s;
  test::MemoryConversion c = test::convertText(mgf);
  EXPECT_EQ(c.msp,
            "Name: A\0B\nPrecursorMZ: 1\nSpectrum_type: MS2\nComments:\n"
            "Num Peaks: 2\n100\0 1\n200 2\n\n"s);
}

// A descriptor that cannot be written stands for a failing disk, on every
// platform: the failure ends the conversion, it is not passed off as done.
TEST(ConvertTest, WriteErrorIsReportedNotPassedOffAsSuccess) {
  test::TempDir dir;
  test::writeFile(dir.path("out.msp"), "");
  test::OpenDescriptor readOnly(dir.path("out.msp"));
  const std::string record =
      "BEGIN IONS\nNAME=A\nMSLEVEL=2\nPEPMASS=1\n100 1\nEND IONS\n";
  for (int copies : {1, 20000}) {  // the final flush, and a full buffer
    std::string mgf;
    for (int i = 0; i < copies; ++i) mgf += record;
    MgfInput input = mgfInputFromBytes(mgf);
    MspOutput output = mspOutputToFd(readOnly.fd());
    ConversionTally tally;
    EXPECT_EQ(convertRecords(input, output, tally),
              ConversionResult::WriteFailed)
        << copies;
    EXPECT_TRUE(output.failed);
  }
}

}  // namespace
}  // namespace mspforge

namespace mspforge {
namespace {

TEST(ConvertTest, ReadErrorIsReportedNotTakenForTheEnd) {
  test::TempDir dir;
  test::writeFile(dir.path("in.mgf"), "BEGIN IONS\n");
  test::OpenDescriptor file(dir.path("in.mgf"), true);  // reads fail
  MgfInput input = mgfInputFromFd(file.fd());
  MspOutput output = mspOutputToMemory();
  ConversionTally tally;
  EXPECT_EQ(convertRecords(input, output, tally),
            ConversionResult::ReadFailed);
}

}  // namespace
}  // namespace mspforge

namespace mspforge {
namespace {

// A file converted on one thread or on two, chunk by chunk, gives the
// bytes and the tally of the conversion in memory, whatever falls on a
// chunk's edge: records, CR LF pairs, a record larger than a chunk, and a
// long line between records, which is passed over.
TEST(ConvertTest, FileGivesTheBytesOfTheInMemoryConversionOnAnyThreads) {
  std::string lf = test::makeSyntheticMgf(7000, 3);  // about 9 MB
  lf += "BEGIN IONS\nNAME=Huge\nMSLEVEL=2\nPEPMASS=1\nTITLE=" +
        std::string(9u << 20, 'T') + "\n";
  for (int i = 0; i < 200000; ++i) lf += "100." + std::to_string(i) + " 1\n";
  lf += "END IONS\n";
  // A record cut off by the next, whose peaks cross chunk boundaries too.
  lf += "BEGIN IONS\nNAME=Cut\nMSLEVEL=2\nPEPMASS=1\n";
  for (int i = 0; i < 2000; ++i) lf += "200." + std::to_string(i) + " 1\n";
  lf += test::makeSyntheticMgf(500, 4) + std::string(3u << 20, '\0') + "\n" +
        test::makeSyntheticMgf(300, 5);
  std::string crlf;
  for (char c : lf) {
    if (c == '\n') crlf += '\r';
    crlf += c;
  }
  for (const std::string* mgf : {&lf, &crlf}) {
    std::string expected;
    ConversionTally expectedTally;
    ConversionOptions rules;
    rules.nameTemplate = "Unnamed {PEPMASS}";
    // The layouts whose records are independent convert in chunks too.
    rules.layout = mgf == &lf ? LibraryLayout::Nist : LibraryLayout::MsDial;
    ASSERT_EQ(convertBytes(*mgf, expected, expectedTally, rules),
              ConversionResult::Complete);
    ASSERT_EQ(expectedTally.unterminatedSpectra, 1);
    test::TempDir dir;
    test::writeFile(dir.path("in.mgf"), *mgf);
    // One thread, and two with chunks of the default size and of 4 KiB
    // (many records, and the huge one, cross chunk boundaries).
    for (const auto& [threads, chunkBytes] :
         {std::pair{1u, std::size_t{0}}, std::pair{2u, std::size_t{0}},
          std::pair{2u, std::size_t{4096}}}) {
      ConversionOptions options = rules;
      options.threads = threads;
      options.chunkBytes = chunkBytes;
      ConversionTally tally;
      ASSERT_EQ(convertFile(dir.path("in.mgf").c_str(),
                            dir.path("out.msp").c_str(), tally, options),
                ConversionResult::Complete);
      EXPECT_EQ(formatTally(tally), formatTally(expectedTally));
      EXPECT_EQ(formatSummary(tally), formatSummary(expectedTally));
      const std::string written = test::readMspFile(dir.path("out.msp"));
      EXPECT_EQ(written.size(), expected.size()) << threads << " " << chunkBytes;
      EXPECT_TRUE(written == expected) << threads << " " << chunkBytes;
    }
  }
}

// Whatever stands between records (here 40 MB of zero bytes without a
// line end, from a reader that never holds them all), the chunks' buffers
// stay a few chunks in size, and the same few buffers serve chunk after
// chunk: memory does not follow the input's junk or its length.
TEST(ConvertTest, ChunksOfAnInputWithLongJunkStayChunkSized) {
  constexpr std::size_t kChunk = 65536;
  const std::string records = test::makeSyntheticMgf(3000, 6);
  std::uint64_t junkLeft = 40u << 20;
  std::size_t at = 0;
  MgfInput input = mgfInputFromReader([&](char* into, std::size_t room) {
    if (junkLeft > 0) {
      const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(room, junkLeft));
      std::memset(into, 0, n);
      junkLeft -= n;
      if (junkLeft == 0) into[n - 1] = '\n';
      return static_cast<std::ptrdiff_t>(n);
    }
    const std::size_t n = std::min(room, records.size() - at);
    std::memcpy(into, records.data() + at, n);
    at += n;
    return static_cast<std::ptrdiff_t>(n);
  });
  BufferPool pool;
  ChunkReader reader(input, kChunk, pool);
  InputChunk chunk;
  std::string msp;
  ConversionTally tally;
  std::uint64_t skipped = 0;
  std::set<const char*> buffers;
  while (reader.next(chunk)) {
    buffers.insert(chunk.input.buffer.data());
    EXPECT_LE(chunk.input.buffer.capacity(), 4 * kChunk);
    EXPECT_LE(input.buffer.capacity(), 4 * kChunk);
    skipped += chunk.linesSkipped;
    MspOutput output = mspOutputToMemory();
    convertRecords(chunk.input, output, tally);
    msp += output.text;
    pool.give(std::move(chunk.input.buffer));
  }
  EXPECT_FALSE(input.failed);
  EXPECT_EQ(skipped, 1u);
  EXPECT_LE(buffers.size(), 4u) << buffers.size();
  std::string expected;
  ConversionTally expectedTally;
  convertBytes(records, expected, expectedTally);
  EXPECT_EQ(formatTally(tally), formatTally(expectedTally));
  EXPECT_TRUE(msp == expected);
}

// A file cut short while it is being read (another program truncates it)
// ends the conversion as a read error that says so, whether one thread or
// several convert it and wherever the reading stands: mid-record in the
// first chunk, or with chunks already converted and written.
TEST(ConvertTest, FileCutShortWhileReadIsAReadErrorOnAnyThreadCount) {
  const std::string mgf = test::makeSyntheticMgf(12000, 5);  // about 15 MB
  struct Case {
    unsigned threads;
    std::size_t recordsFirst;  // read on this thread before the cut
    std::uintmax_t cutTo;
  };
  for (const Case& c : {Case{1, 4000, 1u << 20}, Case{2, 0, 1u << 20},
                        Case{4, 0, 100}, Case{2, 1, (5u << 20) + 33}}) {
    test::TempDir dir;
    test::writeFile(dir.path("in.mgf"), mgf);
    test::OpenDescriptor file(dir.path("in.mgf"));
    MgfInput input = mgfInputFromFd(file.fd());
    FieldMap source;
    PeakLines peaks;
    for (std::size_t i = 0; i < c.recordsFirst; ++i) {
      ASSERT_TRUE(readMgfRecord(input, source, peaks));
    }
    std::error_code error;
    std::filesystem::resize_file(dir.path("in.mgf"), c.cutTo, error);
    if (error) GTEST_SKIP() << "the platform refuses to cut an open file";
    MspOutput output = mspOutputToMemory();
    ConversionTally tally;
    const ConversionResult result =
        convertInChunks(input, output, tally, {}, 65536, c.threads);
    EXPECT_EQ(result, ConversionResult::ReadFailed) << c.threads;
    EXPECT_TRUE(input.failed) << c.threads;
    EXPECT_EQ(input.failure, kCutShort) << c.threads;
    EXPECT_LT(tally.totalSpectra + c.recordsFirst, 12000) << c.threads;
  }
}

}  // namespace
}  // namespace mspforge

namespace mspforge {
namespace {

// Fed in pieces of any size, cut anywhere (inside a line, a CR LF pair or a
// record), the streaming conversion gives convertBytes' bytes and tally.
TEST(ConvertTest, StreamingConversionGivesTheBytesOfTheWholeConversion) {
  std::string mgf = test::makeSyntheticMgf(1500, 6);
  std::string crlf;
  for (char c : mgf.substr(0, 300000)) {
    if (c == '\n') crlf += '\r';
    crlf += c;
  }
  mgf += "BEGIN IONS\nNAME=Long\nMSLEVEL=2\nPEPMASS=1\nTITLE=" +
         std::string(3u << 20, 'T') + "\n5 5\nEND IONS\n" + crlf +
         "BEGIN IONS\nNAME=Unfinished\n5 5\n";
  std::string expected;
  ConversionTally expectedTally;
  convertBytes(mgf, expected, expectedTally);
  for (std::size_t piece : {std::size_t{1} << 22, std::size_t{65536},
                            std::size_t{4093}, std::size_t{7}}) {
    std::string msp;
    StreamingConversion conversion(
        [&msp](std::string_view bytes) { msp.append(bytes); });
    // Seven bytes at a time through megabytes is slow: those pieces go
    // over the first 400 kB only.
    const std::size_t limit = piece == 7 ? 400000 : mgf.size();
    const std::string_view input = std::string_view(mgf).substr(0, limit);
    for (std::size_t at = 0; at < input.size(); at += piece) {
      conversion.feed(input.substr(at, piece));
      EXPECT_LE(conversion.tally().totalSpectra, expectedTally.totalSpectra);
    }
    const ConversionTally tally = conversion.finish();
    EXPECT_EQ(conversion.bytesFed(), input.size());
    std::string whole;
    ConversionTally wholeTally;
    convertBytes(input, whole, wholeTally);
    EXPECT_EQ(formatTally(tally), formatTally(wholeTally)) << piece;
    EXPECT_TRUE(msp == whole) << piece;
    if (limit == mgf.size()) {
      EXPECT_TRUE(msp == expected) << piece;
    }
  }
}

}  // namespace
}  // namespace mspforge
