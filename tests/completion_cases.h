// Records made of given header lines and one peak line, converted whole:
// the cases of the record completion tests.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "mspforge/mspforge.h"
#include "test_files.h"

namespace mspforge::test {

using Lines = std::vector<std::string>;

// Converts one record made of the given header lines and the peak line
// "100 1", unnamed records named by nameTemplate; returns its MSP text, or
// "rejected".
inline std::string convertOne(const Lines& headerLines,
                              const std::string& nameTemplate = "") {
  std::string mgf = "BEGIN IONS\n";
  for (const std::string& line : headerLines) mgf += line + "\n";
  mgf += "100 1\nEND IONS\n";
  ConversionOptions options;
  options.nameTemplate = nameTemplate;
  test::MemoryConversion c = test::convertText(mgf, options);
  EXPECT_EQ(c.tally.totalSpectra, 1);
  EXPECT_EQ(c.tally.ignoredSpectra, 0);
  return c.tally.unrecognizedSpectra == 1 ? "rejected" : c.msp;
}

// The "Name:" and "Precursor_type:" lines of a converted record, or
// "rejected".
inline std::string nameAndAdduct(const Lines& headerLines,
                                 const std::string& nameTemplate = "") {
  std::string msp = convertOne(headerLines, nameTemplate);
  if (msp == "rejected") return msp;
  std::string result = msp.substr(0, msp.find('\n'));
  std::size_t at = msp.find("\nPrecursor_type: ");
  if (at != std::string::npos) {
    result += " |" + msp.substr(at + 16, msp.find('\n', at + 1) - at - 16);
  }
  return result;
}

// The given header lines after "MSLEVEL=2" and "PEPMASS=1", which every
// record needs to be accepted.
inline Lines plus(const Lines& more) {
  Lines lines = {"MSLEVEL=2", "PEPMASS=1"};
  lines.insert(lines.end(), more.begin(), more.end());
  return lines;
}

}  // namespace mspforge::test
