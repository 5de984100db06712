#include "storage/csv_export.h"

#include <charconv>
#include <type_traits>

namespace sylvane::storage {

namespace {

constexpr std::size_t kFlushBytes = 1 << 20;

// Fixed notation, the fewest digits that read back exactly unless decimals are given.
template <typename T> void appendNumber(std::string& out, T value, int decimals = -1) {
    char text[400];
    std::to_chars_result r;
    if constexpr (std::is_integral_v<T>) {
        r = std::to_chars(text, text + sizeof text, value);
    } else if (decimals < 0) {
        r = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed);
    } else {
        r = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, decimals);
    }
    out.append(text, r.ec == std::errc() ? r.ptr : text);
}

} // namespace

std::string csvField(std::string_view text) {
    if (text.find_first_of(",\"\r\n") == std::string_view::npos) return std::string(text);
    std::string out = "\"";
    for (const char c : text) {
        if (c == '"') out += '"';
        out += c;
    }
    out += '"';
    return out;
}

CsvFormat::CsvFormat(Sink sink) : m_sink(std::move(sink)) {}

bool CsvFormat::begin(const ExportedSession&, std::string*) {
    m_buffer.assign(kCsvHeader);
    return true;
}

bool CsvFormat::reading(const ExportedReading& r, std::string* error) {
    appendNumber(m_buffer, r.seconds, 3);
    m_buffer += ',';
    appendNumber(m_buffer, r.adc);
    m_buffer += ',';
    appendNumber(m_buffer, r.ohms);
    m_buffer += ',';
    appendNumber(m_buffer, r.microsiemens);
    m_buffer += ',';
    std::string texts;
    for (std::size_t i = 0; i < r.markers.size(); ++i) {
        if (i > 0) texts += "; ";
        texts += r.markers[i].text.empty() ? "marker " + std::to_string(r.firstMarkerNumber + i)
                                           : r.markers[i].text;
    }
    m_buffer += csvField(texts);
    m_buffer += r.responseOnset ? ",1\r\n" : ",0\r\n";
    return m_buffer.size() < kFlushBytes || flush(error);
}

bool CsvFormat::finish(std::string* error) {
    return flush(error);
}

bool CsvFormat::flush(std::string* error) {
    const bool written = m_buffer.empty() || m_sink(m_buffer, error);
    m_buffer.clear();
    return written;
}

} // namespace sylvane::storage
