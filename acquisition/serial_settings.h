#pragma once
// The line settings text of the serial link, "baud,parity,data bits,stop bits" such as
// "4800,N,8,1", read into a plain struct the serial layer applies.

#include <optional>
#include <string>
#include <string_view>

namespace sylvane::acquisition {

enum class Parity { None, Even, Odd, Mark, Space };
enum class StopBits { One, OneAndHalf, Two };

struct SerialSettings {
    int baud = 9600;
    Parity parity = Parity::None;
    int dataBits = 8;
    StopBits stopBits = StopBits::One;

    friend bool operator==(const SerialSettings&, const SerialSettings&) = default;
};

// Baud rates outside this range are refused: no serial device runs slower, and the fastest
// USB adapters stop at a few megabaud.
inline constexpr int minBaud = 50;
inline constexpr int maxBaud = 4000000;

// Reads a settings text. Fields may carry blanks around them and the parity letter may be
// lower case. On a malformed text returns nothing and, when error is given, a message that
// names the faulty field.
std::optional<SerialSettings> parseSerialSettings(std::string_view text,
                                                  std::string* error = nullptr);

} // namespace sylvane::acquisition
