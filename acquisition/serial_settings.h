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

// Bytes a second the line carries at most: a start bit, the data bits, the parity bit and the
// stop bits a byte (480 at 4800,N,8,1).
double bytesPerSecond(const SerialSettings& settings);

// When a byte arrived, as near as the reads tell. The port is read now and then, not at each
// byte: the byte is the index-th (from 0) of the count bytes one read took at `read` (steady
// seconds), the read before having been at `previous`. It came after the previous read and after
// the bytes before it in this read had time to cross the line, and before the read, early enough
// for the bytes after it to cross the line too; the middle of that span is taken. Bytes that came
// faster than the line carries (a pseudo-terminal) are spread over the span instead.
double byteArrival(double previous, double read, long long index, long long count,
                   double bytesPerSecond);

} // namespace sylvane::acquisition
