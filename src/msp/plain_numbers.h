// Numbers in plain decimal digits, for the MSP readers that read a number
// only as far as its digits and "." go (MS-DIAL, OpenMS) or by a pattern
// of digits (matchms): "1.91742e+04", as Java tools write intensities,
// reads there as 1.91742.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace mspforge {

// A decimal number as it stands at the start of a text: an optional sign,
// digits with an optional "." and fraction (or "." and digits), and an
// optional exponent ("e" or "E", an optional sign, digits).
struct DecimalNumber {
  std::string_view text;       // the whole number
  bool negative = false;
  std::string_view integer;    // the digits before the "."
  std::string_view fraction;   // the digits after it
  std::int64_t exponent = 0;   // 0 without one
};

// Reads the number at the start of text, text.size() bytes at most; false
// when none starts there. The exponent is capped at a magnitude of 1,000
// (a plain form longer than that is refused).
bool readDecimalNumber(std::string_view text, DecimalNumber& number);

// Appends number in plain decimal digits (and "-" for a negative one). A
// number already written so, digits with an optional "." and digits, is
// appended as it stands; any other is rewritten exactly, by moving its
// decimal point, never rounded: "1.91742e+04" gives "19174.2", "5e-3"
// "0.005", ".5" "0.5", "+5" "5", "1.50e1" "15.0". False, nothing
// appended, for an exponent beyond the cap.
bool appendPlainDecimal(std::string& out, const DecimalNumber& number);

// Appends number multiplied by 60 (multiply) or divided by 60, in
// plain decimal digits, by exact decimal arithmetic, so that every
// platform writes the same digits: a time in minutes as seconds
// ("2.025" gives "121.5"), or in seconds as minutes, rounded half up to six
// more decimals than the number has ("290.5" gives "4.8416667", "300"
// "5"). Trailing zeros of the fraction are dropped. False, nothing
// appended, for an exponent beyond the cap.
bool appendTimesSixty(std::string& out, const DecimalNumber& number,
                      bool multiply);

// Appends a peak line as "mz intensity" and a line feed, both numbers in
// plain decimal digits; the columns after the intensity are left out.
// False, nothing appended, when the line (without its line feed) does not
// begin, after white space, with a decimal m/z and, after white space, a
// decimal intensity that is not negative, ending at white space or at the
// end of the line: "inf 5", "100", "100 x", "100 -3", "100 5x".
bool appendPlainPeakLine(std::string& out, std::string_view line);

}  // namespace mspforge
