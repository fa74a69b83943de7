// The converter on real MGF files from public projects (tests/data/corpus,
// with their origins in SOURCES.md).
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>

#include "test_files.h"

namespace mspforge::test {
namespace {

const std::string kCorpus = std::string(MSPFORGE_TEST_DATA) + "/corpus";

long countLinesStartingWith(const std::string& text, const std::string& start) {
  long count = 0;
  std::istringstream lines(text);
  std::string line;
  while (std::getline(lines, line)) {
    if (line.rfind(start, 0) == 0) ++count;
  }
  return count;
}

// Each written record: "Name: " first, a "Comments:" line, "Num Peaks: N"
// followed by N lines, then one empty line.
void expectWellFormedMsp(const std::string& msp, const std::string& file) {
  std::istringstream lines(msp);
  std::string line;
  long records = 0;
  while (std::getline(lines, line)) {
    ASSERT_EQ(line.rfind("Name: ", 0), 0u) << file << ": " << line;
    bool comments = false;
    while (std::getline(lines, line) && line.rfind("Num Peaks: ", 0) != 0) {
      if (line.rfind("Comments:", 0) == 0) comments = true;
    }
    ASSERT_TRUE(comments) << file;
    long peaks = std::stol(line.substr(11));
    ASSERT_GT(peaks, 0) << file;
    for (long i = 0; i < peaks; ++i) ASSERT_TRUE(std::getline(lines, line));
    ASSERT_TRUE(std::getline(lines, line)) << file;
    ASSERT_EQ(line, "") << file;
    ++records;
  }
  EXPECT_EQ(records, countMspRecords(msp));
}

TEST(CorpusTest, EveryFileConvertsConsistently) {
  int files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(kCorpus)) {
    if (entry.path().extension() != ".mgf") continue;
    ++files;
    const std::string name = entry.path().filename().string();
    const std::string mgf = readFile(entry.path().string());
    MemoryConversion c = convertText(mgf);
    EXPECT_EQ(c.result, ConversionResult::Complete) << name;
    EXPECT_EQ(c.tally.totalSpectra, countLinesStartingWith(mgf, "BEGIN IONS"))
        << name;
    EXPECT_GE(c.tally.writtenSpectra(), 0) << name;
    EXPECT_EQ(countMspRecords(c.msp), c.tally.writtenSpectra()) << name;
    expectWellFormedMsp(c.msp, name);
    EXPECT_EQ(c.msp.find('\r'), std::string::npos) << name;
  }
  EXPECT_EQ(files, 12);
}

}  // namespace
}  // namespace mspforge::test
