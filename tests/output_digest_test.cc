// Pins the converter's output on a generated library of 3,000 spectra, so
// that an optimisation that changes a single byte of any record, or the
// tally, fails here. The digest was taken from the straightforward
// implementation that came before the speed work (line reading with
// memchr, FieldMap by sorted insertion, the peak test through strtod's
// rules one byte at a time), and the output is identical. If the output is
// meant to change, check the new output by hand before updating it.
// Last taken when ion modes in any letter case, charges written "2-" and
// negative-mode records with an unsigned CHARGE began to give negative
// adducts: a diff against the earlier output changed 761 Ion_mode lines
// from P to N and 509 Precursor_type lines, each checked against the rules.
// Taken again when chloride and formate began to count as anions, formic
// acid beside other charges as neutral, and charges of 2 or more to give
// "[M+2H]2+": 531 Precursor_type lines changed and nothing else (369
// "[M+n]n" to "[M+nH]n", 70 "M+FA-H" names from "[M-H]-" and 42 from
// "[M+FA-H]2-" to "[M+FA-H]-", 50 "[M+FA-H]2-" whose CHARGE is -2 to
// "[M-2H]2-").
// Taken again when a name stated an adduct only in adduct form: the 12
// records named "Metformin" lost "[Metformin]+", 7 of them taking
// "[M+H]+" from their CHARGE instead, and nothing else changed.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "conversion_invariants.h"
#include "mspforge/mspforge.h"
#include "synthetic_mgf.h"

namespace mspforge::test {
namespace {

std::uint64_t fnv1a(std::string_view bytes) {
  std::uint64_t hash = 14695981039346656037ull;
  for (unsigned char byte : bytes) {
    hash = (hash ^ byte) * 1099511628211ull;
  }
  return hash;
}

TEST(OutputDigestTest, GeneratedLibraryConvertsToThePinnedBytes) {
  const std::string mgf = makeSyntheticMgf(3000, 1);
  std::string msp;
  ConversionTally tally;
  ASSERT_EQ(convertBytes(mgf, msp, tally), ConversionResult::Complete);
  EXPECT_EQ(formatTally(tally),
            "Total spectra = 3000 Ignored spectra(no peaks) = 22 "
            "Unrecognized format 39 spectra\n");
  EXPECT_EQ(msp.size(), 4094787u);
  EXPECT_EQ(fnv1a(msp), 12320725816755849756ull);
  EXPECT_EQ(checkConversionInvariants(mgf), "");
  EXPECT_EQ(checkFastPathsAgainstReference(mgf), "");
  EXPECT_EQ(checkReaderAgainstReference(mgf.substr(0, 200000)), "");
  EXPECT_EQ(checkChunkedAgainstWhole(mgf), "");
}

}  // namespace
}  // namespace mspforge::test
