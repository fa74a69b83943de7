#include "mspforge/read_integer.h"

#include <gtest/gtest.h>

#include <string>

namespace mspforge {
namespace {

TEST(ReadIntegerTest, ReadsAsAtoiWithSaturation) {
  struct Case {
    std::string text;
    std::int32_t expected;
  };
  const Case cases[] = {
      // Plain numbers and trailing text.
      {"1", 1}, {"2", 2}, {"02", 2}, {"17 scans", 17}, {"2.0", 2},
      {"1.5", 1}, {"3rd", 3}, {"1+", 1}, {"2-", 2}, {"12ab34", 12},
      // Signs.
      {"+1", 1}, {"-1", -1}, {"-0", 0}, {"+-1", 0}, {"--1", 0}, {"- 1", 0},
      // No digits.
      {"", 0}, {"abc", 0}, {"+", 0}, {"-", 0}, {"MS2", 0}, {".5", 0},
      // Leading white space of every kind; none inside the number.
      {" 3", 3}, {"\t\n\v\f\r 42", 42}, {"4 2", 4},
      // Saturation at both ends, with any number of digits.
      {"2147483647", 2147483647}, {"2147483648", 2147483647},
      {"99999999999999999999999", 2147483647},
      {"-2147483648", -2147483647 - 1}, {"-2147483649", -2147483647 - 1},
      {"-99999999999999999999999", -2147483647 - 1},
      {"000000000000000000000012", 12},
      // A NUL ends the digits like any other byte.
      {std::string("12\0003", 4), 12},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(readInteger(c.text), c.expected) << '"' << c.text << '"';
  }
}

TEST(ReadIntegerTest, ReportsWhereTheDigitsEnd) {
  std::size_t end = 0;
  readInteger("+2H", &end);
  EXPECT_EQ(end, 2u);
  readInteger(" -12Na", &end);
  EXPECT_EQ(end, 4u);
  readInteger("H", &end);
  EXPECT_EQ(end, std::string_view::npos);
  readInteger("+", &end);
  EXPECT_EQ(end, std::string_view::npos);
}

// A CHARGE may carry its sign after the digits, as Mascot's MGF writes it.
TEST(ReadIntegerTest, ChargeTakesASignAfterItsDigits) {
  struct Case {
    std::string text;
    std::int32_t expected;
  };
  const Case cases[] = {
      // A "-" right after the digits, with no sign before them.
      {"2-", -2}, {"1-", -1}, {"12-", -12}, {" 3-", -3}, {"007-", -7},
      {"2147483647-", -2147483647}, {"2147483648-", -2147483647 - 1},
      {"99999999999-", -2147483647 - 1}, {"1-2", -1}, {"1--", -1},
      // Otherwise as readInteger reads it.
      {"2+", 2}, {"2+ and 3+", 2}, {"-2-", -2}, {"+2-", 2}, {"2 -", 2},
      {"0-", 0}, {"-", 0}, {"", 0}, {"1", 1}, {"-1", -1}, {"+1", 1},
      {"1.5-", 1}, {"2147483648", 2147483647}, {"abc-", 0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(readCharge(c.text), c.expected) << '"' << c.text << '"';
  }
}

}  // namespace
}  // namespace mspforge
