#include "mgf/peak_threshold.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <string>

namespace mspforge {
namespace {

using namespace std::string_literals;

TEST(PeakThresholdTest, ReadsTheLeadingNumberAsAtof) {
  struct Case {
    std::string line;
    bool atLeastOne;
  };
  const Case cases[] = {
      {"101.0 250\n", true},        {"1 100\n", true},
      {"1.0 100\n", true},          {"0.99 100\n", false},
      {"0.5 100\n", false},         {"  250.3 7\n", true},
      {"\t99.5\t12\n", true},       {"+5\n", true},
      {"-5 100\n", false},          {"\n", false},
      {"", false},                  {"#comment\n", false},
      {" END IONS\n", false},       {"BEGIN IONS\n", false},
      {".5\n", false},              {"5.\n", true},
      {".\n", false},               {"+.\n", false},
      // Exponents can scale either way.
      {"1e-5 3\n", false},          {"0.01e3\n", true},
      {"1E0\n", true},              {"5e\n", true},
      // Hexadecimal.
      {"0x1F 100\n", true},         {"0x0.8\n", false},
      {"0x\n", false},              {"0X10\n", true},
      // Words.
      {"inf 3\n", true},            {"INFINITY\n", true},
      {"nan 3\n", false},           {"-inf\n", false},
      {"info\n", true},             {"in\n", false},
      // Rounding: seventeen nines round up to exactly 1.0.
      {"0.99999999999999999\n", true},
      {"0.9999999999999999\n", false},
      {"00001\n", true},            {"0000.1\n", false},
      // A NUL byte ends the number as it ends atof's string.
      {std::string("\0" "5\n", 3), false},
      {std::string("7\0" "0.1\n", 6), true},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(leadingNumberAtLeastOne(c.line), c.atLeastOne)
        << '"' << c.line << '"';
  }
}

// The fast path must give the C library's answer for any line.
TEST(PeakThresholdTest, AgreesWithStrtodOnRandomLines) {
  // Bytes 0xB0 to 0xB9 are digits with the top bit set: the eight-at-a-time
  // digit scan must not take them for digits.
  const std::string alphabet =
      "0123456789.9999+-eExXaAfFinINty \t\r\n\xb0\xb9\xba\xff/:"s +
      '\0';
  std::mt19937 random(12345);
  std::uniform_int_distribution<std::size_t> pick(0, alphabet.size() - 1);
  std::uniform_int_distribution<int> length(0, 24);
  for (int i = 0; i < 300000; ++i) {
    std::string line;
    // Long runs of digits too, to cross the eight-byte steps.
    if (i % 3 == 0) line = std::string(1 + i % 13, static_cast<char>('1' + i % 9));
    for (int n = length(random); n > 0; --n) line += alphabet[pick(random)];
    bool expected = std::strtod(line.c_str(), nullptr) >= 1.0;
    ASSERT_EQ(leadingNumberAtLeastOne(line), expected) << '"' << line << '"';
  }
}

}  // namespace
}  // namespace mspforge
