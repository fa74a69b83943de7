// Every input the fuzzer was seeded with or ever found (fuzz/seeds,
// fuzz/regressions) keeps its invariants in the ordinary test run.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "conversion_invariants.h"
#include "test_files.h"

namespace mspforge::test {
namespace {

TEST(FuzzRegressionTest, EveryKeptInputHoldsTheInvariants) {
  int inputs = 0;
  for (const char* dir : {"seeds", "regressions"}) {
    const std::filesystem::path path =
        std::filesystem::path(MSPFORGE_FUZZ_DIR) / dir;
    if (!std::filesystem::exists(path)) continue;
    for (const auto& entry : std::filesystem::directory_iterator(path)) {
      if (entry.path().filename() == "README.md") continue;
      ++inputs;
      const std::string bytes = readFile(entry.path().string());
      EXPECT_EQ(checkConversionInvariants(bytes), "") << entry.path();
      EXPECT_EQ(checkFastPathsAgainstReference(bytes), "") << entry.path();
      EXPECT_EQ(checkReaderAgainstReference(bytes), "") << entry.path();
      EXPECT_EQ(checkStreamingAgainstWhole(bytes), "") << entry.path();
      EXPECT_EQ(checkChunkedAgainstWhole(bytes), "") << entry.path();
    }
  }
  EXPECT_GT(inputs, 0);
}

TEST(FuzzRegressionTest, ExampleHoldsTheInvariants) {
  EXPECT_EQ(checkConversionInvariants(
                readFile(std::string(MSPFORGE_EXAMPLES) + "/library.mgf")),
            "");
}

}  // namespace
}  // namespace mspforge::test
