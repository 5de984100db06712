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

std::string markerText(const Marker& marker, std::size_t number) {
    return marker.text.empty() ? "marker " + std::to_string(number) : marker.text;
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
        texts += markerText(r.markers[i], r.firstMarkerNumber + i);
    }
    m_buffer += csvField(texts);
    m_buffer += r.responseOnset ? ",1," : ",0,";
    appendNumber(m_buffer, r.tonic);
    m_buffer += ',';
    appendNumber(m_buffer, r.microsiemens - r.tonic);
    m_buffer += "\r\n";
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

bool writeResponsesCsv(const ExportedSession& s, analysis::ResponseWindow window,
                       const CsvFormat::Sink& sink, std::string* error) {
    std::vector<double> times;
    times.reserve(s.markers.size());
    for (const Marker& m : s.markers) times.push_back(s.secondsOf(m));
    const auto responses = analysis::responsesToMarkers(times, s.responses, window);

    std::string out(kResponsesCsvHeader);
    // The tonic level at each marker: that of its reading, the first sound one at or after its
    // record (the last one for a marker after every reading), as the reading rows place it.
    std::size_t sound = 0;
    std::size_t record = 0;
    const auto n = s.values.size();
    for (std::size_t i = 0; i < s.markers.size(); ++i) {
        const auto markerRecord =
            static_cast<std::size_t>(std::max<std::int64_t>(1, s.markers[i].record));
        while (record < n && (record + 1 < markerRecord || !soundReading(s.values[record]))) {
            if (soundReading(s.values[record])) ++sound;
            ++record;
        }
        appendNumber(out, times[i], 3);
        out += ',';
        out += csvField(markerText(s.markers[i], i + 1));
        out += ',';
        appendNumber(out, responses[i].count);
        out += ',';
        if (const auto first = responses[i].first) {
            const analysis::Response& r = s.responses[*first];
            appendNumber(out, r.onsetSeconds - times[i], 3);
            out += ',';
            appendNumber(out, r.amplitude(), 4);
            out += ',';
            appendNumber(out, r.riseSeconds(), 3);
            out += ',';
            if (r.halfRecoverySeconds) appendNumber(out, *r.halfRecoverySeconds, 3);
        } else {
            out += ",,,";
        }
        out += ',';
        if (!s.tonic.empty()) appendNumber(out, s.tonic[std::min(sound, s.tonic.size() - 1)]);
        out += "\r\n";
    }
    return sink(out, error);
}

} // namespace sylvane::storage
