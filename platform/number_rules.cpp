#include "platform/number_rules.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <cmath>
#include <limits>
#include <system_error>

namespace sylvane::platform {

namespace {



} // namespace

std::string decimalText(std::int64_t value) {
    char buf[24];
    const auto res = std::to_chars(buf, buf + sizeof buf, value);
    return std::string(buf, res.ptr);
}

std::string standardText(std::int64_t value) {
    return value < 0 ? decimalText(value) : " " + decimalText(value);
}

std::size_t writeStandardText(float value, char* out) {
    const auto put = [&](const char* text) {
        const std::size_t n = std::strlen(text);
        std::memcpy(out, text, n);
        return n;
    };
    if (std::isnan(value)) return put(" NaN");
    if (std::isinf(value)) return put(value > 0 ? " Inf" : "-Inf");
    if (value == 0.0f) return put(" 0");

    char* o = out;
    *o++ = value < 0 ? '-' : ' ';
    // Seven significant digits, correctly rounded from the float's exact value, and independent
    // of the process locale (to_chars never uses a decimal comma).
    char sci[32];
    const char* end = std::to_chars(sci, sci + sizeof sci, std::fabs(static_cast<double>(value)),
                                    std::chars_format::scientific, 6)
                          .ptr; // d.dddddde+XX
    const char* e = std::find(static_cast<const char*>(sci), end, 'e');
    char digits[8];
    std::size_t count = 0;
    digits[count++] = sci[0];
    for (const char* d = sci + 2; d < e; ++d) digits[count++] = *d;
    int exponent = 0;
    std::from_chars(e + 1 + (e[1] == '+' ? 1 : 0), end, exponent);
    while (count > 1 && digits[count - 1] == '0') --count;

    if (exponent < -4 || exponent >= 7) {
        *o++ = digits[0];
        if (count > 1) {
            *o++ = '.';
            for (std::size_t i = 1; i < count; ++i) *o++ = digits[i];
        }
        const int mag = exponent < 0 ? -exponent : exponent;
        *o++ = 'E';
        *o++ = exponent < 0 ? '-' : '+';
        if (mag < 10) *o++ = '0';
        o = std::to_chars(o, o + 4, mag).ptr;
        return static_cast<std::size_t>(o - out);
    }
    if (exponent < 0) {
        *o++ = '0';
        *o++ = '.';
        for (int i = 0; i < -exponent - 1; ++i) *o++ = '0';
        for (std::size_t i = 0; i < count; ++i) *o++ = digits[i];
        return static_cast<std::size_t>(o - out);
    }
    const auto intLen = static_cast<std::size_t>(exponent) + 1;
    for (std::size_t i = 0; i < std::max(count, intLen); ++i) {
        if (i == intLen) *o++ = '.';
        *o++ = i < count ? digits[i] : '0';
    }
    return static_cast<std::size_t>(o - out);
}

std::string standardText(float value) {
    char text[32];
    return std::string(text, writeStandardText(value, text));
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
    char text[32];
    const std::size_t n = writeStandardText(v, text);
    // Trimmed: the only blank is the sign position of a number that is not negative.
    const char* t = text[0] == ' ' ? text + 1 : text;
    std::size_t len = std::min<std::size_t>(4, n - static_cast<std::size_t>(t - text));
    if (len == 4 && t[3] == '.' && std::find(t, t + 3, '.') == t + 3) len = 3;
    return std::string(t, len);
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
    const std::int32_t parts[3] = {s / 3600, (s % 3600) / 60, (s % 3600) % 60};
    char text[32];
    char* o = text;
    for (int i = 0; i < 3; ++i) {
        if (i > 0) *o++ = ':';
        const std::int64_t part = parts[i] < 0 ? -static_cast<std::int64_t>(parts[i]) : parts[i];
        if (part < 10) *o++ = '0';
        o = std::to_chars(o, text + sizeof text, part).ptr;
    }
    return std::string(text, o);
}

} // namespace sylvane::platform
