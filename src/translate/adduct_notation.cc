#include "translate/adduct_notation.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <limits>

#include "mspforge/read_integer.h"

namespace mspforge {
namespace {

// Where the first "+" or "-" of text from `from` on stands, or npos.
std::size_t nextSign(std::string_view text, std::size_t from = 0) {
  for (std::size_t i = from; i < text.size(); ++i) {
    if (text[i] == '+' || text[i] == '-') return i;
  }
  return std::string_view::npos;
}

// text.rfind(c), searched from the front: a name holds "[" or "M" rarely,
// and the forward search goes in wide steps where a backward one goes
// byte by byte.
std::size_t lastOf(std::string_view text, char c) {
  std::size_t last = std::string_view::npos;
  for (std::size_t from = 0; from < text.size();) {
    const void* at = std::memchr(text.data() + from, c, text.size() - from);
    if (at == nullptr) break;
    last = static_cast<std::size_t>(static_cast<const char*>(at) - text.data());
    from = last + 1;
  }
  return last;
}

const ChargedSpecies* findSpecies(std::string_view species) {
  for (const ChargedSpecies& entry : ChargedSpeciesTable) {
    // Most entries differ in size or first letter: no call to compare.
    if (entry.species.size() == species.size() && !species.empty() &&
        entry.species.front() == species.front() && entry.species == species) {
      return &entry;
    }
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

bool isAlphanumeric(char c) {
  return isDigit(c) || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

// The charge that text after "]" states: "+", "-", "2+" or "+2" (no count
// starting with 0). False for anything else.
bool readChargeSuffix(std::string_view text, std::int32_t& charge) {
  if (text.size() == 1 && isSign(text.front())) {
    charge = text.front() == '+' ? 1 : -1;
    return true;
  }
  if (text.size() < 2) return false;
  char sign;
  std::string_view count;
  if (isSign(text.back())) {
    sign = text.back();
    count = text.substr(0, text.size() - 1);
  } else if (isSign(text.front())) {
    sign = text.front();
    count = text.substr(1);
  } else {
    return false;
  }
  if (!isCount(count)) return false;
  const std::int64_t magnitude = readInteger(count);
  charge = static_cast<std::int32_t>(sign == '+' ? magnitude : -magnitude);
  return true;
}

// The length of a leading count of molecules, "2" of "2M+Na".
std::size_t countLength(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && isDigit(text[i])) ++i;
  return i;
}

// An adduct expression as libraries write it: an optional count, "M",
// then terms of a sign and a species of letters and digits ("M+H",
// "2M+Na", "M-H2O+H", "M+FA-H"); at least minTerms of them.
bool isAdductExpression(std::string_view text, std::size_t minTerms) {
  std::size_t i = countLength(text);
  if (i == text.size() || text[i] != 'M') return false;
  std::size_t terms = 0;
  for (++i; i < text.size(); ++terms) {
    if (!isSign(text[i])) return false;
    const std::size_t species = ++i;
    while (i < text.size() && isAlphanumeric(text[i])) ++i;
    if (i == species) return false;
  }
  return terms >= minTerms;
}

// Sets notation to "[", the molecules' count, expression, "]" and the
// suffix of charge, in place (neither view may point into notation).
void setBracketed(std::string& notation, std::string_view molecules,
                  std::string_view expression, std::int32_t charge) {
  notation.assign(1, '[');
  notation.append(molecules);
  notation.append(expression);
  notation += ']';
  appendChargeSuffix(notation, charge);
}

std::string_view trimBlanks(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) {
    text.remove_prefix(1);
  }
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) {
    text.remove_suffix(1);
  }
  return text;
}

}  // namespace

bool adductCharge(std::string_view expression, std::int32_t& charge) {
  charge = 0;
  std::size_t position = nextSign(expression);
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

    position = nextSign(expression, speciesStart);
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
  const std::size_t m = lastOf(name, 'M');
  if (m == std::string_view::npos) return false;
  const std::string_view tail = name.substr(m);
  // Only an adduct form counts: "MDMA", "Methionine" or a last word "SM"
  // state none.
  if (tail.size() < 2 || !isSign(tail[1])) return false;
  if (tail.find(' ') != std::string_view::npos) return false;
  // A count that begins the word belongs to the adduct: "2M+Na" is the
  // sodiated dimer. "Compound5M+H" has none.
  const std::size_t wordStart = m == 0 ? 0 : name.rfind(' ', m - 1) + 1;
  std::string_view molecules = name.substr(wordStart, m - wordStart);
  if (countLength(molecules) != molecules.size()) molecules = {};
  if (tail == "M+" || tail == "M-") {
    charge = tail == "M+" ? 1 : -1;
    setBracketed(adduct, molecules, "M", charge);
    return true;
  }
  if (!isAdductExpression(tail, 1)) return false;
  if (!adductCharge(tail, charge)) return false;
  setBracketed(adduct, molecules, tail, charge);
  return true;
}

bool adductFromBracket(std::string_view name, std::string& adduct) {
  const std::size_t open = lastOf(name, '[');
  if (open == std::string_view::npos) return false;
  const std::size_t m = open + 1 + countLength(name.substr(open + 1));
  if (m >= name.size() || name[m] != 'M') return false;
  const std::size_t space = name.find(' ', open);
  const std::string_view word = name.substr(
      open, space == std::string_view::npos ? std::string_view::npos
                                            : space - open);
  adduct.assign(word);
  const std::size_t close = word.find(']');
  if (close == std::string_view::npos) return false;
  std::int32_t charge = 0;
  if (close + 1 < word.size()) {
    // A charge written after the "]" is kept, in the "2+" form.
    if (!readChargeSuffix(word.substr(close + 1), charge)) return false;
    setBracketed(adduct, {}, word.substr(1, close - 1), charge);
    return true;
  }
  if (!adductCharge(word.substr(1, word.size() - 2), charge)) return false;
  appendChargeSuffix(adduct, charge);
  return true;
}

bool statedAdductNotation(std::string_view value, std::string& notation) {
  const std::string_view text = trimBlanks(value);
  std::int32_t charge = 0;
  if (text.starts_with('[')) {
    const std::size_t close = text.find(']');
    if (close == std::string_view::npos) return false;
    const std::string_view expression = text.substr(1, close - 1);
    if (close + 1 < text.size()) {
      if (!readChargeSuffix(text.substr(close + 1), charge)) return false;
    } else if (!isAdductExpression(expression, 0) ||
               !adductCharge(expression, charge)) {
      return false;
    }
    setBracketed(notation, {}, expression, charge);
    return true;
  }
  if (text == "M+" || text == "M-") {
    notation = text == "M+" ? "[M]+" : "[M]-";
    return true;
  }
  if (!isAdductExpression(text, 1) || !adductCharge(text, charge)) {
    return false;
  }
  setBracketed(notation, {}, text, charge);
  return true;
}

}  // namespace mspforge
