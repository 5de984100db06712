#pragma once
// The free-format data notation of the settings file and the session header: one item a line,
// texts in double quotes, whole numbers as bare digits, lines ended by CR LF. Reading takes
// items one field at a time: a field ends at a comma or at the end of a line, and a quoted
// field runs to its closing quote, its quotes removed.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace sylvane::platform {

class FreeFormatReader {
public:
    explicit FreeFormatReader(std::string_view data) : m_data(data) {}

    // The next field's text, or nothing at the end of the data.
    std::optional<std::string> nextField();
    // The next field as a whole number; nothing at the end of the data, or when the field holds
    // no number (the field is consumed either way). Decimals round to the nearest whole number.
    std::optional<std::int32_t> nextWholeNumber();

    bool atEnd() const;
    // The last field began with a quote that the data never closed.
    bool lastFieldUnclosed() const { return m_unclosed; }

private:
    std::string_view m_data;
    std::size_t m_pos = 0;
    bool m_unclosed = false;
};

// One quoted text line: quote, text, quote, CR LF.
std::string quotedLine(std::string_view text);
// One whole-number line: digits (minus sign when negative), CR LF.
std::string numberLine(std::int64_t value);
// The same into out (at least 24 bytes), without allocating; returns its length.
std::size_t writeNumberLine(std::int64_t value, char* out);

// Calls each(line, number, whole) for each line of a side file, its LF or CR LF taken off;
// numbers count from 1, and whole is false for a last line without its end (cut while it was
// written).
template <typename Each> void forEachLine(std::string_view bytes, Each&& each) {
    for (int number = 1; !bytes.empty(); ++number) {
        const auto end = bytes.find('\n');
        std::string_view line = bytes.substr(0, end);
        const bool whole = end != std::string_view::npos;
        bytes = whole ? bytes.substr(end + 1) : std::string_view{};
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        each(line, number, whole);
    }
}

} // namespace sylvane::platform
