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

struct ChargedSpecies {
  std::string_view species;  // matched whole and case-sensitively
  int direction;             // +1: a term adds its count; -1: subtracts it
};

// Formic acid ("FA", "CHO2") is taken up as formate, so it counts negative.
// Every species not listed ("Cl", "Li", "H2O", "na", the empty one between
// two signs) carries no charge.
inline constexpr std::array<ChargedSpecies, 8> ChargedSpeciesTable = {{
    {"Na", +1},
    {"K", +1},
    {"Al", +1},
    {"Fe", +1},
    {"NH4", +1},
    {"H", +1},
    {"FA", -1},
    {"CHO2", -1},
}};

// The net charge of expression, always written to charge. An expression
// without any sign ("M", "2M", "") counts as a singly charged positive ion.
// A term's count is read as strtol reads it (white space, one sign,
// digits), 0 or none meaning 1; its own sign combines with the term's:
// "+-2H" is -2 and "--2H" is +2. The sum is taken in 64 bits and saturated
// to the 32-bit range. Returns true when the charge is not zero.
bool adductCharge(std::string_view expression, std::int32_t& charge);

// Appends the charge in adduct notation: "+" for 1, "-" for -1, otherwise
// the magnitude and "+" for a positive charge or "-" for any other: 2 gives
// "2+", -3 gives "3-", 0 gives "0-", -2147483648 gives "2147483648-".
void appendChargeSuffix(std::string& text, std::int32_t charge);

// Builds "[" tail "]" and its charge suffix from the tail of name that
// begins at its last capital "M", as long as that tail holds no space:
// "Caffeine M+H" gives "[M+H]+" and charge 1. "M+" and "M-" alone give
// "[M]+" and "[M]-".
// Returns true with adduct replaced and charge set. On false, adduct is
// unchanged; charge is 0 when the tail's net charge was zero, and unchanged
// otherwise (empty name, no "M", a space in the tail).
bool adductFromNameTail(std::string_view name, std::string& adduct,
                        std::int32_t& charge);

// Reads the bracket word that starts at the last "[" of name, when an "M"
// follows that "[", up to the next space or the end of the name:
//   - "[M+H]" (the first "]" ends the word): true, with the charge suffix
//     of the expression inside appended: "[M+H]+";
//   - "[M+H]+", "[M+2H]2+", "[M+H]1+", "[M+H]+2" (the first "]" followed
//     by a sign, digits then a sign, or a sign then digits, no digits
//     starting with 0): true, the word taken as it stands;
//   - anything else after the first "]", no "]" at all, or a net charge of
//     zero: false.
// Once the bracket word is found, adduct holds it, also after false; before
// that (empty name, no "[", no "M" after it) adduct is unchanged.
bool adductFromBracket(std::string_view name, std::string& adduct);

}  // namespace mspforge
