#include "acquisition/serial_settings.h"

#include <algorithm>
#include <charconv>
#include <vector>

namespace sylvane::acquisition {

namespace {

std::string_view trimBlanks(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
}

// Whole decimal number made of digits only: no sign, no blanks inside, no exponent.
std::optional<long long> wholeNumber(std::string_view s) {
    if (s.empty() || s.size() > 12) return std::nullopt;
    long long value = 0;
    const auto res = std::from_chars(s.data(), s.data() + s.size(), value);
    if (res.ec != std::errc() || res.ptr != s.data() + s.size() || s.front() == '-')
        return std::nullopt;
    return value;
}

std::optional<Parity> parityOf(std::string_view s) {
    if (s.size() != 1) return std::nullopt;
    switch (s.front()) {
    case 'N':
    case 'n':
        return Parity::None;
    case 'E':
    case 'e':
        return Parity::Even;
    case 'O':
    case 'o':
        return Parity::Odd;
    case 'M':
    case 'm':
        return Parity::Mark;
    case 'S':
    case 's':
        return Parity::Space;
    default:
        return std::nullopt;
    }
}

std::optional<StopBits> stopBitsOf(std::string_view s) {
    if (s == "1") return StopBits::One;
    if (s == "1.5") return StopBits::OneAndHalf;
    if (s == "2") return StopBits::Two;
    return std::nullopt;
}

std::optional<SerialSettings> refuse(std::string* error, std::string message) {
    if (error) *error = std::move(message);
    return std::nullopt;
}

} // namespace

std::optional<SerialSettings> parseSerialSettings(std::string_view text, std::string* error) {
    const std::string quoted = "\"" + std::string(text) + "\"";
    std::vector<std::string_view> fields;
    std::size_t start = 0;
    for (;;) {
        const std::size_t comma = text.find(',', start);
        fields.push_back(trimBlanks(text.substr(start, comma - start)));
        if (comma == std::string_view::npos) break;
        start = comma + 1;
    }
    if (fields.size() != 4)
        return refuse(error, "Serial settings " + quoted +
                                 " are not of the form baud,parity,data bits,stop bits "
                                 "(for example 4800,N,8,1)");

    SerialSettings s;
    const auto baud = wholeNumber(fields[0]);
    if (!baud || *baud < minBaud || *baud > maxBaud)
        return refuse(error, "Serial settings " + quoted + ": baud rate \"" +
                                 std::string(fields[0]) + "\" is not a whole number from " +
                                 std::to_string(minBaud) + " to " + std::to_string(maxBaud));
    s.baud = static_cast<int>(*baud);

    const auto parity = parityOf(fields[1]);
    if (!parity)
        return refuse(error, "Serial settings " + quoted + ": parity \"" + std::string(fields[1]) +
                                 "\" is not one of N, E, O, M, S");
    s.parity = *parity;

    const auto dataBits = wholeNumber(fields[2]);
    if (!dataBits || *dataBits < 5 || *dataBits > 8)
        return refuse(error, "Serial settings " + quoted + ": data bits \"" +
                                 std::string(fields[2]) + "\" is not 5, 6, 7 or 8");
    s.dataBits = static_cast<int>(*dataBits);

    const auto stopBits = stopBitsOf(fields[3]);
    if (!stopBits)
        return refuse(error, "Serial settings " + quoted + ": stop bits \"" +
                                 std::string(fields[3]) + "\" is not 1, 1.5 or 2");
    s.stopBits = *stopBits;
    return s;
}

double bytesPerSecond(const SerialSettings& settings) {
    const double stop = settings.stopBits == StopBits::One          ? 1.0
                        : settings.stopBits == StopBits::OneAndHalf ? 1.5
                                                                    : 2.0;
    const double bits = 1.0 + settings.dataBits + (settings.parity == Parity::None ? 0 : 1) + stop;
    return settings.baud / bits;
}

double byteArrival(double previous, double read, long long index, long long count,
                   double bytesPerSecond) {
    if (!(read > previous) || count <= 0) return read;
    index = std::clamp<long long>(index, 0, count - 1);
    const double perByte = bytesPerSecond > 0 ? 1.0 / bytesPerSecond : 0.0;
    const double earliest = previous + static_cast<double>(index + 1) * perByte;
    const double latest = read - static_cast<double>(count - 1 - index) * perByte;
    if (earliest <= latest) return (earliest + latest) / 2;
    return previous +
           (read - previous) * static_cast<double>(index + 1) / static_cast<double>(count);
}

} // namespace sylvane::acquisition
