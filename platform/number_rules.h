#pragma once
// The arithmetic and number texts every part of the program shares: rounding to whole numbers
// with halves going to the even neighbour, truncating division, the remainder with the sign of
// the dividend, the standard text of a number and the numeric value of a text.

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <string>
#include <string_view>

namespace sylvane::platform {

// Nearest whole number, halves to the even neighbour (232.5 -> 232, 233.5 -> 234).
// Out-of-range values saturate and NaN gives 0, so a bad value can never trap.
template <typename Int> Int nearestAs(double x) {
    if (std::isnan(x)) return 0;
    constexpr double lo = static_cast<double>(std::numeric_limits<Int>::min());
    constexpr double hi = static_cast<double>(std::numeric_limits<Int>::max());
    if (x <= lo) return std::numeric_limits<Int>::min();
    if (x >= hi) return std::numeric_limits<Int>::max();
    // The default floating-point rounding mode rounds halves to the even neighbour.
    return static_cast<Int>(std::nearbyint(x));
}
inline std::int32_t nearest(double x) {
    return nearestAs<std::int32_t>(x);
}
inline std::int16_t nearest16(double x) {
    return nearestAs<std::int16_t>(x);
}

// Whole-number division truncating toward zero; a zero divisor gives 0 instead of trapping.
inline std::int32_t intDiv(std::int64_t a, std::int64_t b) {
    if (b == 0) return 0;
    const std::int64_t q = a / b;
    if (q > std::numeric_limits<std::int32_t>::max())
        return std::numeric_limits<std::int32_t>::max();
    if (q < std::numeric_limits<std::int32_t>::min())
        return std::numeric_limits<std::int32_t>::min();
    return static_cast<std::int32_t>(q);
}

// Remainder with the sign of the dividend; a zero divisor gives 0.
inline std::int32_t vbMod(std::int64_t a, std::int64_t b) {
    if (b == 0) return 0;
    return static_cast<std::int32_t>(a % b);
}

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
