#include "mgf/mgf_input.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/platform_io.h"
#include "test_files.h"

namespace mspforge {
namespace {

std::vector<std::string> allLines(MgfInput& input) {
  std::vector<std::string> lines;
  std::string_view line;
  while (readLine(input, line)) lines.emplace_back(line);
  return lines;
}

std::vector<std::string> linesOf(const std::string& bytes) {
  MgfInput input = mgfInputFromBytes(bytes);
  return allLines(input);
}

// Reads bytes through a real file, so that block reads and buffer growth
// take part.
std::vector<std::string> linesThroughFile(const std::string& bytes,
                                          bool* failed = nullptr) {
  test::TempDir dir;
  test::writeFile(dir.path("in.mgf"), bytes);
  test::OpenDescriptor file(dir.path("in.mgf"));
  MgfInput input = mgfInputFromFd(file.fd());
  std::vector<std::string> lines = allLines(input);
  if (failed != nullptr) *failed = input.failed;
  return lines;
}

// Reads bytes as a pipe or a stream fed in pieces delivers them: one byte
// at a time.
std::vector<std::string> linesByteByByte(const std::string& bytes) {
  std::size_t at = 0;
  MgfInput input = mgfInputFromReader([&](char* into, std::size_t) {
    if (at == bytes.size()) return std::ptrdiff_t{0};
    *into = bytes[at++];
    return std::ptrdiff_t{1};
  });
  input.blockSize = 16;
  return allLines(input);
}

using Lines = std::vector<std::string>;

TEST(MgfInputTest, LineEnds) {
  struct Case {
    std::string bytes;
    Lines lines;
  };
  const std::vector<Case> cases = {
      {"", {}},
      {"a\nb\n", {"a\n", "b\n"}},
      {"a\nb", {"a\n", "b"}},
      {"\n\n", {"\n", "\n"}},
      // CR LF reads as LF; a CR elsewhere is an ordinary byte.
      {"a\r\nb\r\n", {"a\n", "b\n"}},
      {"a\rb\r\n", {"a\rb\n"}},
      {"a\r\r\n", {"a\r\n"}},
      {"\r\n", {"\n"}},
      {"a\r", {"a\r"}},
      // 0x1A ends the input, wherever it stands.
      {"a\n\x1A" "b\n", {"a\n"}},
      {"a\x1A\nb\n", {"a"}},
      {"a\r\x1A\n", {"a\r"}},
      {"\x1A", {}},
      // NUL is an ordinary byte.
      {std::string("a\0b\n\0\n", 6),
       {std::string("a\0b\n", 4), std::string("\0\n", 2)}},
      // A UTF-8 byte-order mark belongs to no line at the very start only.
      {"\xEF\xBB\xBF" "a\nb\n", {"a\n", "b\n"}},
      {"\xEF\xBB\xBF" "a\r\nb\r\n", {"a\n", "b\n"}},
      {"\xEF\xBB\xBF", {}},
      {"\xEF\xBB\xBF\n", {"\n"}},
      {"\xEF\xBB\xBF\xEF\xBB\xBF" "a\n", {"\xEF\xBB\xBF" "a\n"}},
      {"a\n\xEF\xBB\xBF" "b\n", {"a\n", "\xEF\xBB\xBF" "b\n"}},
      {"\xEF\xBB", {"\xEF\xBB"}},
      {"\xEF\xBB\n", {"\xEF\xBB\n"}},
      {"\xEF\xBB\x1A\xBF" "a\n", {"\xEF\xBB"}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(linesOf(c.bytes), c.lines) << '"' << c.bytes << '"';
    EXPECT_EQ(linesThroughFile(c.bytes), c.lines) << '"' << c.bytes << '"';
    EXPECT_EQ(linesByteByByte(c.bytes), c.lines) << '"' << c.bytes << '"';
  }
}

TEST(MgfInputTest, LinesLongerThanAnyBufferArriveWhole) {
  const std::string longLine = "TITLE=" + std::string(3'000'000, 'x') + "\n";
  const std::string bytes = "a\n" + longLine + "b\r\n" + longLine;
  const Lines expected = {"a\n", longLine, "b\n", longLine};
  EXPECT_EQ(linesThroughFile(bytes), expected);
  EXPECT_EQ(linesOf(bytes), expected);
}

TEST(MgfInputTest, CrLfSplitAcrossBlockReadsIsOneLineEnd) {
  // The first block read is 1 MiB; put the CR at its last byte.
  for (std::size_t crAt : {(1u << 20) - 1, (1u << 20) - 2, 1u << 20}) {
    const std::string first(crAt, 'y');
    const std::string bytes = first + "\r\nz\r\n";
    EXPECT_EQ(linesThroughFile(bytes), (Lines{first + "\n", "z\n"}));
  }
}

// A CR LF pair or a 0x1A is found wherever it stands among the bytes of a
// read: in the steps of 256 bytes that the search takes, and after them.
TEST(MgfInputTest, CrLfAndEndOfFileMarkAtEveryOffsetOfARead) {
  for (std::size_t at = 0; at < 300; at += 7) {
    const std::string before(at, 'x');
    const std::string after(300 - at, 'y');
    EXPECT_EQ(linesThroughFile(before + "\r\n" + after + "\n"),
              (Lines{before + "\n", after + "\n"}))
        << at;
    EXPECT_EQ(linesThroughFile(before + "\x1A" + after + "\n"),
              (at == 0 ? Lines{} : Lines{before}))
        << at;
  }
}

TEST(MgfInputTest, EndOfFileMarkInALaterBlockEndsTheInput) {
  const std::string first(1u << 20, 'q');
  EXPECT_EQ(linesThroughFile(first + "\n\x1A" "after\n"),
            (Lines{first + "\n"}));
}

// Each line with the position of its first "=", through a real file so
// that lines cross block reads and buffer growth.
TEST(MgfInputTest, FirstEqualsSignOfEachLine) {
  const std::string far(2'500'000, 'k');
  const std::vector<std::pair<std::string, std::size_t>> lines = {
      {"TITLE=a=b\n", 5},
      {"no sign\n", std::string_view::npos},
      {"=\n", 0},
      {"0123456789abcdef=\n", 16},  // just past one 16-byte chunk
      {"0123456789abcde=\n", 15},
      {far + "=v\n", far.size()},   // found only after two refills
      {"T=" + far + "\n", 1},        // found before the refills
      {"x\r\n", std::string_view::npos},
      {"last=", 4},                  // no line end
  };
  std::string bytes;
  for (const auto& [text, equals] : lines) bytes += text;
  test::TempDir dir;
  test::writeFile(dir.path("in.mgf"), bytes);
  test::OpenDescriptor file(dir.path("in.mgf"));
  MgfInput input = mgfInputFromFd(file.fd());
  for (const auto& [text, equals] : lines) {
    std::string_view line;
    std::size_t found = 0;
    ASSERT_TRUE(readLine(input, line, found));
    EXPECT_EQ(found, equals) << text.substr(0, 20);
    if (found != std::string_view::npos) {
      EXPECT_EQ(line[found], '=');
    }
  }
  std::string_view line;
  EXPECT_FALSE(readLine(input, line));
}

TEST(MgfInputTest, ReadErrorIsNotTakenForTheEndOfTheInput) {
  test::TempDir dir;
  test::writeFile(dir.path("in.mgf"), "BEGIN IONS\n");
  test::OpenDescriptor file(dir.path("in.mgf"), true);  // reads fail
  MgfInput input = mgfInputFromFd(file.fd());
  std::string_view line;
  EXPECT_FALSE(readLine(input, line));
  EXPECT_TRUE(input.failed);
}

}  // namespace
}  // namespace mspforge

namespace mspforge {
namespace {

// A descriptor is read from where it stands, as read() would go on, also
// when the file is mapped.
TEST(MgfInputTest, FileIsReadFromTheDescriptorsPosition) {
  test::TempDir dir;
  test::writeFile(dir.path("in.mgf"), "skipped line\nfirst=1\nsecond\n");
  test::OpenDescriptor file(dir.path("in.mgf"));
  char skipped[13];
  ASSERT_EQ(platform::readSome(file.fd(), skipped, sizeof skipped), 13);
  MgfInput input = mgfInputFromFd(file.fd());
  EXPECT_EQ(allLines(input),
            (std::vector<std::string>{"first=1\n", "second\n"}));
}

}  // namespace
}  // namespace mspforge
