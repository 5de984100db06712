#include "platform/number_rules.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <system_error>

namespace sylvane::platform {

namespace {

template <typename Int> Int nearestAs(double x) {
    if (std::isnan(x)) return 0;
    constexpr double lo = static_cast<double>(std::numeric_limits<Int>::min());
    constexpr double hi = static_cast<double>(std::numeric_limits<Int>::max());
    if (x <= lo) return std::numeric_limits<Int>::min();
    if (x >= hi) return std::numeric_limits<Int>::max();
    // The default floating-point rounding mode rounds halves to the even neighbour.
    return static_cast<Int>(std::nearbyint(x));
}

std::string twoDigits(std::int32_t part) {
    std::string digits = decimalText(part < 0 ? -static_cast<std::int64_t>(part) : part);
    return digits.size() < 2 ? "0" + digits : digits;
}

} // namespace

std::int32_t nearest(double x) {
    return nearestAs<std::int32_t>(x);
}
std::int16_t nearest16(double x) {
    return nearestAs<std::int16_t>(x);
}

std::int32_t intDiv(std::int64_t a, std::int64_t b) {
    if (b == 0) return 0;
    const std::int64_t q = a / b;
    if (q > std::numeric_limits<std::int32_t>::max())
        return std::numeric_limits<std::int32_t>::max();
    if (q < std::numeric_limits<std::int32_t>::min())
        return std::numeric_limits<std::int32_t>::min();
    return static_cast<std::int32_t>(q);
}

std::int32_t vbMod(std::int64_t a, std::int64_t b) {
    if (b == 0) return 0;
    return static_cast<std::int32_t>(a % b);
}

std::string decimalText(std::int64_t value) {
    char buf[24];
    const auto res = std::to_chars(buf, buf + sizeof buf, value);
    return std::string(buf, res.ptr);
}

std::string standardText(std::int64_t value) {
    return value < 0 ? decimalText(value) : " " + decimalText(value);
}

std::string standardText(float value) {
    if (std::isnan(value)) return " NaN";
    if (std::isinf(value)) return value > 0 ? " Inf" : "-Inf";
    if (value == 0.0f) return " 0";

    const std::string sign = value < 0 ? "-" : " ";
    // Seven significant digits, correctly rounded from the float's exact value, and independent
    // of the process locale (to_chars never uses a decimal comma).
    char buf[32];
    const auto res = std::to_chars(buf, buf + sizeof buf, std::fabs(static_cast<double>(value)),
                                   std::chars_format::scientific, 6);
    const std::string sci(buf, res.ptr); // d.dddddde+XX
    const auto ePos = sci.find('e');
    std::string digits = sci.substr(0, 1) + sci.substr(2, ePos - 2);
    int exponent = 0;
    std::from_chars(sci.data() + ePos + 1 + (sci[ePos + 1] == '+' ? 1 : 0), sci.data() + sci.size(),
                    exponent);
    while (digits.size() > 1 && digits.back() == '0') digits.pop_back();

    if (exponent < -4 || exponent >= 7) {
        std::string text = digits.substr(0, 1);
        if (digits.size() > 1) text += "." + digits.substr(1);
        const int mag = exponent < 0 ? -exponent : exponent;
        text += exponent < 0 ? "E-" : "E+";
        if (mag < 10) text += "0";
        text += decimalText(mag);
        return sign + text;
    }
    if (exponent < 0) {
        return sign + "0." + std::string(static_cast<std::size_t>(-exponent - 1), '0') + digits;
    }
    const auto intLen = static_cast<std::size_t>(exponent) + 1;
    if (digits.size() <= intLen) return sign + digits + std::string(intLen - digits.size(), '0');
    return sign + digits.substr(0, intLen) + "." + digits.substr(intLen);
}

double numericValue(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() &&
           (text[i] == ' ' || text[i] == '\t' || text[i] == '\r' || text[i] == '\n'))
        ++i;
    std::string number;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        if (text[i] == '-') number += '-';
        ++i;
    }
    bool anyDigit = false;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
        number += text[i++];
        anyDigit = true;
    }
    if (i < text.size() && text[i] == '.') {
        number += text[i++];
        while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
            number += text[i++];
            anyDigit = true;
        }
    }
    if (!anyDigit) return 0.0;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E' || text[i] == 'd' || text[i] == 'D')) {
        std::size_t j = i + 1;
        std::string exponent = "e";
        if (j < text.size() && (text[j] == '+' || text[j] == '-')) exponent += text[j++];
        bool expDigit = false;
        while (j < text.size() && text[j] >= '0' && text[j] <= '9') {
            exponent += text[j++];
            expDigit = true;
        }
        if (expDigit) number += exponent;
    }
    if (number.front() == '.' || (number.front() == '-' && number.size() > 1 && number[1] == '.'))
        number.insert(number.front() == '-' ? 1 : 0, "0");
    double value = 0.0;
    const auto res = std::from_chars(number.data(), number.data() + number.size(), value);
    if (res.ec == std::errc::result_out_of_range) {
        // Far too large or too small to matter: saturate rather than fail.
        const bool negative = number.front() == '-';
        const bool tiny = number.find("e-") != std::string::npos;
        if (tiny) return 0.0;
        return negative ? -std::numeric_limits<double>::max() : std::numeric_limits<double>::max();
    }
    return value;
}

std::string trimmed(std::string_view text) {
    std::size_t b = 0;
    std::size_t e = text.size();
    while (b < e && text[b] == ' ') ++b;
    while (e > b && text[e - 1] == ' ') --e;
    return std::string(text.substr(b, e - b));
}

float resistanceOfAdc(double adc) {
    return static_cast<float>(1924650000.0 / adc - 470000.0);
}

std::string fourCharacterText(float v) {
    std::string t = trimmed(standardText(v)).substr(0, 4);
    if (t.find('.') == 3) t.resize(3);
    return t;
}

std::string formatOhms(float value) {
    if (value >= 1000000.0f)
        return fourCharacterText(static_cast<float>(static_cast<double>(value) / 1000000.0)) + "M";
    if (value >= 1000.0f)
        return fourCharacterText(static_cast<float>(static_cast<double>(value) / 1000.0)) + "k";
    return fourCharacterText(value);
}

std::string formatTime(float seconds) {
    const std::int32_t s = nearest(seconds);
    const std::int32_t h = s / 3600;
    const std::int32_t r = s % 3600;
    const std::int32_t m = r / 60;
    const std::int32_t c = r % 60;
    return twoDigits(h) + ":" + twoDigits(m) + ":" + twoDigits(c);
}

} // namespace sylvane::platform
