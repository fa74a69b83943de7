// A deterministic generator of library-style MGF text, for the benchmark
// program and for the test that pins the converter's output byte for byte.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace mspforge::test {

// records spectra in the style of a public library export: PEPMASS,
// CHARGE in its many spellings, MSLEVEL, IONMODE, names with and without
// adducts, titles, SMILES, InChI (with "="), ADDUCT, FORMULA with charge
// signs, USI, "N/A" values, 5 to 120 peaks (tabs, exponents, integers,
// some below 1.0), and now and then a record without peaks, without a name
// or without PEPMASS. The same arguments give the same bytes on every
// platform.
std::string makeSyntheticMgf(std::size_t records, std::uint32_t seed);

}  // namespace mspforge::test
