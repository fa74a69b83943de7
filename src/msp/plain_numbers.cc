#include "msp/plain_numbers.h"

#include <algorithm>

#include "mspforge/read_integer.h"

namespace mspforge {
namespace {

constexpr std::int64_t kLargestExponent = 1000;

std::size_t digitsAt(std::string_view text, std::size_t at) {
  std::size_t end = at;
  while (end < text.size() && isDigit(text[end])) ++end;
  return end - at;
}

// Plain already: digits, then optionally "." and digits.
bool isPlain(const DecimalNumber& number) {
  const std::string_view text = number.text;
  const std::size_t integer = digitsAt(text, 0);
  if (integer == 0) return false;
  if (integer == text.size()) return true;
  return text[integer] == '.' && integer + 1 < text.size() &&
         digitsAt(text, integer + 1) == text.size() - integer - 1;
}

bool isBlank(char c) { return isCSpace(c) && c != '\n'; }

std::size_t skipBlanks(std::string_view text, std::size_t at) {
  while (at < text.size() && isBlank(text[at])) ++at;
  return at;
}

}  // namespace

bool readDecimalNumber(std::string_view text, DecimalNumber& number) {
  number = DecimalNumber{};
  std::size_t at = 0;
  if (at < text.size() && (text[at] == '+' || text[at] == '-')) {
    number.negative = text[at] == '-';
    ++at;
  }
  const std::size_t integer = digitsAt(text, at);
  number.integer = text.substr(at, integer);
  at += integer;
  if (at < text.size() && text[at] == '.') {
    const std::size_t fraction = digitsAt(text, at + 1);
    number.fraction = text.substr(at + 1, fraction);
    if (integer + fraction == 0) return false;
    at += 1 + fraction;
  } else if (integer == 0) {
    return false;
  }
  if (at < text.size() && (text[at] == 'e' || text[at] == 'E')) {
    std::size_t e = at + 1;
    bool negativeExponent = false;
    if (e < text.size() && (text[e] == '+' || text[e] == '-')) {
      negativeExponent = text[e] == '-';
      ++e;
    }
    const std::size_t digits = digitsAt(text, e);
    if (digits > 0) {
      std::int64_t exponent = 0;
      for (std::size_t i = e; i < e + digits; ++i) {
        exponent = std::min<std::int64_t>(exponent * 10 + (text[i] - '0'),
                                          kLargestExponent + 1);
      }
      number.exponent = negativeExponent ? -exponent : exponent;
      at = e + digits;
    }
  }
  number.text = text.substr(0, at);
  return true;
}

bool appendPlainDecimal(std::string& out, const DecimalNumber& number) {
  if (number.exponent > kLargestExponent ||
      number.exponent < -kLargestExponent) {
    return false;
  }
  if (number.negative) out += '-';
  if (!number.negative && isPlain(number)) {
    out.append(number.text);
    return true;
  }
  // The digits, and where the decimal point falls among them once the
  // exponent has moved it.
  const std::string digits =
      std::string(number.integer) + std::string(number.fraction);
  const std::int64_t point =
      static_cast<std::int64_t>(number.integer.size()) + number.exponent;
  std::string integer;
  std::string fraction;
  if (point <= 0) {
    fraction.assign(static_cast<std::size_t>(-point), '0');
    fraction += digits;
  } else if (static_cast<std::size_t>(point) >= digits.size()) {
    integer = digits;
    integer.append(static_cast<std::size_t>(point) - digits.size(), '0');
  } else {
    integer = digits.substr(0, static_cast<std::size_t>(point));
    fraction = digits.substr(static_cast<std::size_t>(point));
  }
  const std::size_t firstNonZero = integer.find_first_not_of('0');
  integer.erase(0, firstNonZero == std::string::npos ? integer.size()
                                                     : firstNonZero);
  if (integer.empty()) integer = "0";
  out += integer;
  if (!fraction.empty()) {
    out += '.';
    out += fraction;
  }
  return true;
}

bool appendTimesSixty(std::string& out, const DecimalNumber& number,
                      bool multiply) {
  std::string plain;
  DecimalNumber magnitude = number;
  magnitude.negative = false;
  if (!appendPlainDecimal(plain, magnitude)) return false;
  // The number as an integer of digits and a count of decimals.
  const std::size_t point = plain.find('.');
  std::size_t scale = point == std::string::npos ? 0 : plain.size() - point - 1;
  std::string digits = plain;
  if (point != std::string::npos) digits.erase(point, 1);
  std::string result;
  if (multiply) {
    unsigned carry = 0;
    for (std::size_t i = digits.size(); i-- > 0;) {
      const unsigned product = static_cast<unsigned>(digits[i] - '0') * 60 + carry;
      result.push_back(static_cast<char>('0' + product % 10));
      carry = product / 10;
    }
    for (; carry > 0; carry /= 10) result.push_back(static_cast<char>('0' + carry % 10));
    std::reverse(result.begin(), result.end());
  } else {
    constexpr std::size_t kMoreDecimals = 6;
    digits.append(kMoreDecimals, '0');
    scale += kMoreDecimals;
    unsigned remainder = 0;
    for (char digit : digits) {
      const unsigned value = remainder * 10 + static_cast<unsigned>(digit - '0');
      result.push_back(static_cast<char>('0' + value / 60));
      remainder = value % 60;
    }
    // Half up: carry the rounding into the digits.
    if (remainder * 2 >= 60) {
      std::size_t i = result.size();
      while (i > 0 && result[i - 1] == '9') result[--i] = '0';
      if (i == 0) {
        result.insert(result.begin(), '1');
      } else {
        ++result[i - 1];
      }
    }
  }
  if (result.size() <= scale) result.insert(0, scale + 1 - result.size(), '0');
  std::string integer = result.substr(0, result.size() - scale);
  std::string fraction = result.substr(result.size() - scale);
  integer.erase(0, std::min(integer.find_first_not_of('0'), integer.size() - 1));
  fraction.erase(fraction.find_last_not_of('0') + 1);
  if (number.negative && (integer != "0" || !fraction.empty())) out += '-';
  out += integer;
  if (!fraction.empty()) {
    out += '.';
    out += fraction;
  }
  return true;
}

bool appendPlainPeakLine(std::string& out, std::string_view line) {
  if (!line.empty() && line.back() == '\n') line.remove_suffix(1);
  const std::size_t before = out.size();
  DecimalNumber mz;
  DecimalNumber intensity;
  std::size_t at = skipBlanks(line, 0);
  if (!readDecimalNumber(line.substr(at), mz) || mz.negative) return false;
  at += mz.text.size();
  if (at == line.size() || !isBlank(line[at])) return false;
  at = skipBlanks(line, at);
  if (!readDecimalNumber(line.substr(at), intensity) || intensity.negative) {
    return false;
  }
  at += intensity.text.size();
  if (at < line.size() && !isBlank(line[at])) return false;
  if (!appendPlainDecimal(out, mz)) return false;
  out += ' ';
  if (!appendPlainDecimal(out, intensity)) {
    out.resize(before);
    return false;
  }
  out += '\n';
  return true;
}

}  // namespace mspforge
