#include "translate/adduct_notation.h"

#include <algorithm>
#include <charconv>
#include <limits>

#include "mspforge/read_integer.h"

namespace mspforge {
namespace {

constexpr std::string_view kSigns = "+-";

const ChargedSpecies* findSpecies(std::string_view species) {
  for (const ChargedSpecies& entry : ChargedSpeciesTable) {
    if (entry.species == species) return &entry;
  }
  return nullptr;
}

void appendDecimal(std::string& text, std::int64_t value) {
  char digits[24];
  auto [end, ec] = std::to_chars(digits, digits + sizeof digits, value);
  (void)ec;  // 24 bytes hold any 64-bit value
  text.append(digits, end);
}

// One or more decimal digits, the first of them not "0".
bool isCount(std::string_view text) {
  return !text.empty() && text.front() != '0' &&
         std::all_of(text.begin(), text.end(), isDigit);
}

bool isSign(char c) { return c == '+' || c == '-'; }

// What may follow "]" in a complete bracket word: "+", "-", "2+", "+2".
bool isChargeSuffix(std::string_view text) {
  if (text.size() == 1) return isSign(text.front());
  if (text.size() < 2) return false;
  if (isSign(text.back())) return isCount(text.substr(0, text.size() - 1));
  if (isSign(text.front())) return isCount(text.substr(1));
  return false;
}

}  // namespace

bool adductCharge(std::string_view expression, std::int32_t& charge) {
  charge = 0;
  std::size_t position = expression.find_first_of(kSigns);
  if (position == std::string_view::npos) {
    charge = 1;
    return true;
  }
  // Counts saturate at the 32-bit limits, so running sums in 64 bits
  // cannot overflow before the expression would have to be billions of
  // terms long; the bound below makes even that safe.
  constexpr std::int64_t kBound = std::int64_t{1} << 62;
  std::int64_t ions = 0;         // the charge of every term but formic acid
  std::int64_t formicAcid = 0;   // the signed count of the "FA" terms
  while (position != std::string_view::npos) {
    const char sign = expression[position];
    const std::size_t afterSign = position + 1;
    std::size_t digitsEnd = std::string_view::npos;
    const std::int64_t count =
        readInteger(expression.substr(afterSign), &digitsEnd);
    const std::size_t speciesStart =
        digitsEnd == std::string_view::npos ? afterSign : afterSign + digitsEnd;
    std::int64_t signedCount = count == 0 ? 1 : count;
    if (sign == '-') signedCount = -signedCount;

    position = expression.find_first_of(kSigns, speciesStart);
    std::string_view species = expression.substr(
        speciesStart, position == std::string_view::npos
                          ? std::string_view::npos
                          : position - speciesStart);
    if (const ChargedSpecies* entry = findSpecies(species)) {
      switch (entry->charge) {
        case SpeciesCharge::Cation:
          ions = std::clamp(ions + signedCount, -kBound, kBound);
          break;
        case SpeciesCharge::Anion:
          ions = std::clamp(ions - signedCount, -kBound, kBound);
          break;
        case SpeciesCharge::FormicAcid:
          formicAcid = std::clamp(formicAcid + signedCount, -kBound, kBound);
          break;
      }
    }
  }
  // Formic acid is neutral, unless it alone can give the ion its charge.
  const std::int64_t sum = ions != 0 ? ions : -formicAcid;
  charge = static_cast<std::int32_t>(
      std::clamp<std::int64_t>(sum, std::numeric_limits<std::int32_t>::min(),
                               std::numeric_limits<std::int32_t>::max()));
  return charge != 0;
}

void appendChargeSuffix(std::string& text, std::int32_t charge) {
  if (charge == 1) {
    text += '+';
  } else if (charge == -1) {
    text += '-';
  } else {
    // The magnitude in 64 bits: -2147483648 has none in 32.
    std::int64_t wide = charge;
    appendDecimal(text, wide < 0 ? -wide : wide);
    text += charge > 0 ? '+' : '-';
  }
}

bool adductFromNameTail(std::string_view name, std::string& adduct,
                        std::int32_t& charge) {
  if (name.empty()) return false;
  std::size_t m = name.rfind('M');
  if (m == std::string_view::npos) return false;
  std::string_view tail = name.substr(m);
  if (tail.find(' ') != std::string_view::npos) return false;
  if (tail == "M+" || tail == "M-") {
    adduct = tail == "M+" ? "[M]+" : "[M]-";
    charge = tail == "M+" ? 1 : -1;
    return true;
  }
  if (!adductCharge(tail, charge)) return false;
  adduct.assign("[");
  adduct.append(tail);
  adduct += ']';
  appendChargeSuffix(adduct, charge);
  return true;
}

bool adductFromBracket(std::string_view name, std::string& adduct) {
  if (name.empty()) return false;
  std::size_t open = name.rfind('[');
  if (open == std::string_view::npos || open + 1 >= name.size() ||
      name[open + 1] != 'M') {
    return false;
  }
  std::size_t space = name.find(' ', open);
  std::string_view word = name.substr(
      open, space == std::string_view::npos ? std::string_view::npos
                                            : space - open);
  adduct.assign(word);
  std::size_t close = word.find(']');
  if (close == std::string_view::npos) return false;
  if (close + 1 < word.size()) return isChargeSuffix(word.substr(close + 1));
  std::int32_t charge = 0;
  if (!adductCharge(word.substr(1, word.size() - 2), charge)) return false;
  appendChargeSuffix(adduct, charge);
  return true;
}

}  // namespace mspforge
