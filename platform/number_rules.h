#pragma once
// The arithmetic and number texts every part of the program shares: rounding to whole numbers
// with halves going to the even neighbour, truncating division, the remainder with the sign of
// the dividend, the standard text of a number and the numeric value of a text.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace sylvane::platform {

// Nearest whole number, halves to the even neighbour (232.5 -> 232, 233.5 -> 234).
// Out-of-range values saturate and NaN gives 0, so a bad value can never trap.
std::int32_t nearest(double x);
std::int16_t nearest16(double x);

// Whole-number division truncating toward zero; a zero divisor gives 0 instead of trapping.
std::int32_t intDiv(std::int64_t a, std::int64_t b);

// Remainder with the sign of the dividend; a zero divisor gives 0.
std::int32_t vbMod(std::int64_t a, std::int64_t b);

// Standard number text of a 32-bit float: a leading blank when not negative, a minus sign
// otherwise, at most 7 significant digits, no trailing zeros, "." as decimal point whatever the
// locale, and the "E" form (" 1.5E-05", " 1.234568E+07") outside 1E-04 .. 9999999.
// Magnitudes below 1 keep their "0" before the point (" 0.5").
std::string standardText(float value);

// The same into out (at least 32 bytes), without allocating; returns its length.
std::size_t writeStandardText(float value, char* out);

// Standard number text of a whole number (" 31", "-7").
std::string standardText(std::int64_t value);
inline std::string standardText(std::int32_t value) {
    return standardText(std::int64_t{value});
}

// Numeric value of a text: the decimal number at its start, leading blanks skipped, "." as the
// decimal point, an optional exponent; 0 when the text holds no number (" ", "", "True").
double numericValue(std::string_view text);

// Text with leading and trailing blanks removed.
std::string trimmed(std::string_view text);

// Decimal digits of a whole number, without a leading blank ("1234", "-5").
std::string decimalText(std::int64_t value);

// Resistance in Ohms of an ADC value: 1924650000 / adc - 470000, in double precision and stored
// as a 32-bit float. An ADC value of 0 would divide by zero; callers never pass one.
float resistanceOfAdc(double adc);

// Resistance as shown on the readouts and axis labels: four characters at most plus "k" or "M".
std::string formatOhms(float value);

// Elapsed time as hh:mm:ss (hours not limited to two digits; magnitudes of negative parts).
std::string formatTime(float seconds);

// The first four characters of the trimmed standard text of v, cut to three when the decimal
// point is the fourth character ("469.7" -> "469", "2.128" -> "2.12").
std::string fourCharacterText(float v);

} // namespace sylvane::platform
