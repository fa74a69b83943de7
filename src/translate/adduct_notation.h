// Adduct notation read out of compound names: "Caffeine [M+H]" and
// "Caffeine M+H" both name the protonated molecule, "[M+H]+".
//
// An adduct expression such as "M+2H" or "M-H2O+H" is a molecule part up
// to its first "+" or "-", then terms: a sign, an optional count and a
// species running up to the next sign. Only the species of
// ChargedSpeciesTable carry charge, one unit per count.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace mspforge {

// What a species does to the charge of the ion it joins.
enum class SpeciesCharge {
  Cation,      // a term adds its signed count: "+2H" is +2, "-H" is -1
  Anion,       // a term subtracts its signed count: "+Cl" is -1
  FormicAcid,  // neutral beside charged terms, else taken up as formate
};

struct ChargedSpecies {
  std::string_view species;  // matched whole and case-sensitively
  SpeciesCharge charge;
};

// The species that carry charge, one unit per count. Every species not
// listed ("H2O", "CH3OH", "cl", the empty one between two signs) carries
// none.
//
// "FA" is formic acid, a neutral molecule: "M+FA-H" is the deprotonated
// formic-acid adduct, charge -1, and "M+FA+H" the protonated one, +1. Only
// where nothing else in the expression carries a net charge ("M+FA",
// "M+2FA", "M+FA-H2O") does "FA" stand for the formate anion that the
// name must mean, one negative charge per unit.
inline constexpr std::array<ChargedSpecies, 13> ChargedSpeciesTable = {{
    {"H", SpeciesCharge::Cation},
    {"Li", SpeciesCharge::Cation},
    {"Na", SpeciesCharge::Cation},
    {"K", SpeciesCharge::Cation},
    {"NH4", SpeciesCharge::Cation},
    {"Al", SpeciesCharge::Cation},
    {"Fe", SpeciesCharge::Cation},
    {"Cl", SpeciesCharge::Anion},
    {"Br", SpeciesCharge::Anion},
    {"CHO2", SpeciesCharge::Anion},
    {"HCOO", SpeciesCharge::Anion},
    {"CH3COO", SpeciesCharge::Anion},
    {"FA", SpeciesCharge::FormicAcid},
}};

// The net charge of expression, always written to charge. An expression
// without any sign ("M", "2M", "") counts as a singly charged positive ion.
// A term's count is read as strtol reads it (white space, one sign,
// digits), 0 or none meaning 1; its own sign combines with the term's:
// "+-2H" is -2 and "--2H" is +2. "M+Cl" is -1, "M+FA-H" is -1, "M+FA" is
// -1 and "M+Cl+Na" is 0. The sums are taken in 64 bits and saturated to
// the 32-bit range. Returns true when the charge is not zero.
bool adductCharge(std::string_view expression, std::int32_t& charge);

// Appends the charge in adduct notation: "+" for 1, "-" for -1, otherwise
// the magnitude and "+" for a positive charge or "-" for any other: 2 gives
// "2+", -3 gives "3-", 0 gives "0-", -2147483648 gives "2147483648-".
void appendChargeSuffix(std::string& text, std::int32_t charge);

// Builds an adduct from the last word of name when that word is in adduct
// form: from its last capital "M" on, "M+" or "M-", or "M" and terms of a
// sign and a species of letters and digits, with no space ("Caffeine M+H"
// gives "[M+H]+" and charge 1; "M+" and "M-" alone give "[M]+" and
// "[M]-"). A count that begins the word is kept: "caffeine 2M+Na" gives
// "[2M+Na]+", while "Compound5M+H" gives "[M+H]+". "MDMA", "Methionine",
// "SM" or a last word "M" state no adduct.
// Returns true with adduct replaced and charge set. On false, adduct is
// unchanged; charge is 0 when the tail's net charge was zero, and unchanged
// otherwise.
bool adductFromNameTail(std::string_view name, std::string& adduct,
                        std::int32_t& charge);

// Reads the bracket word that starts at the last "[" of name, when an "M"
// (after an optional count: "[2M+Na]") follows that "[", up to the next
// space or the end of the name:
//   - "[M+H]" (the first "]" ends the word): true, with the charge suffix
//     of the expression inside appended: "[M+H]+";
//   - "[M+H]+", "[M+2H]2+", "[M+H]1+", "[M+2H]+2" (the first "]" followed
//     by a sign, digits then a sign, or a sign then digits, no digits
//     starting with 0): true, the charge written in the "2+" form:
//     "[M+H]+", "[M+2H]2+", "[M+H]+", "[M+2H]2+";
//   - anything else after the first "]", no "]" at all, or a net charge of
//     zero: false.
// Once the bracket word is found, adduct holds it, also after false; before
// that (empty name, no "[", no "M" after it) adduct is unchanged.
bool adductFromBracket(std::string_view name, std::string& adduct);

// The notation of an adduct that a record states (ADDUCT, ION,
// PRECURSORTYPE, PRECURSOR_TYPE), so that a library holds one notation
// whoever wrote the MGF. Blanks and tabs around value are ignored:
//   - "[" expression "]" and a charge suffix: the suffix in the "2+" form
//     ("[M+2H]+2" gives "[M+2H]2+", "[Cat]+" stays);
//   - "[" expression "]" alone, the expression an optional count and "M"
//     with or without terms: its net charge appended ("[M+H]" gives
//     "[M+H]+", "[M]" "[M]+", "[2M+Na]" "[2M+Na]+");
//   - a bare expression, "M" with one or more terms: in brackets with its
//     charge ("M-H" gives "[M-H]-", "M+FA-H" "[M+FA-H]-", "2M+Na"
//     "[2M+Na]+"); "M+" and "M-" give "[M]+" and "[M]-".
// True with notation set; false, notation untouched, for a net charge of
// zero and for any other value ("Unknown", "", "[Cat+H]", "[]").
bool statedAdductNotation(std::string_view value, std::string& notation);

}  // namespace mspforge
