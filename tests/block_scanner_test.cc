// The record scanner's block-at-a-time paths (whole blocks of peak lines,
// loops over blocks of peak or header lines) against a plain reading of
// the rules, line by line.
#include <gtest/gtest.h>

#include <string>

#include "conversion_invariants.h"

namespace mspforge {
namespace {

// Peak lines with an "e" or "E" in each of their columns, or a "=", and
// header lines among which stand lines that are not ("BEGIN IONS=1", a
// line without "="), at every offset from the 64-byte blocks the reader
// classifies, and so split between blocks at every byte: the lines it
// takes whole, the counts of exponent forms and third columns, and the
// ones whose leading number is below 1 ("1e-3 5") must match a plain
// reading line by line.
TEST(BlockScannerTest, LinesWithLettersAtEveryBlockOffset) {
  // Each unusual line also stands alone between usual ones, so that a
  // block holds it with nothing else unusual.
  std::string lines =
      "100.5 1.9e+04\n2E3 7\n1e-3 5\n5e2\n12.5e 3\n300 4 1e2\n"
      "300\t4E1\t2\n7 e\n9 8 e 1\n150 2=3\n8e\t1\n"
      "123.4567 890\n45 6 7\n";
  for (const char* unusual :
       {"1e-3 5", "5e-1\t2", "5e2", "7 e", "300 4 1e2", "45 6 7", "1 2 3 4",
        "150 2=3", "0.5 9", " 5 9", "9"}) {
    lines += std::string(
                 "123.4567 890\n100 1\n200.25 3000\n400 5\n123.4567 890\n"
                 "100 1\n200.25 3000\n400 5\n") +
             unusual + "\n";
  }
  std::string headers;
  for (const char* unusual : {"BEGIN IONS=1", "B=2", "NO EQUALS SIGN", "=x",
                              "K=N/A", "USI=u", "", "BEGIN IONS"}) {
    headers += std::string("TITLE=a title\nCHARGE=1\nSMILES=CC(=O)") +
               std::string(40, 'C') + "\nNAME=n\n" + unusual +
               "\nT=after\nEND IONS\nBEGIN IONS\n";
  }
  for (std::size_t shift = 0; shift < 64; ++shift) {
    const std::string mgf = "BEGIN IONS\nTITLE=" + std::string(shift, 't') +
                            "\n" + headers + lines + headers + lines +
                            "END IONS\n";
    EXPECT_EQ(test::checkReaderAgainstReference(mgf), "") << shift;
  }
}

}  // namespace
}  // namespace mspforge
