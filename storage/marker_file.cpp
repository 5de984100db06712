#include "storage/marker_file.h"

#include "platform/free_format.h"
#include "storage/session_header.h"

#include <charconv>
#include <cmath>

namespace sylvane::storage {

std::string markerLine(const Marker& marker) {
    // to_chars, not printf: the decimal point is "." whatever the locale the program runs in.
    char numbers[64];
    char* o = std::to_chars(numbers, numbers + 16, marker.record).ptr;
    *o++ = ',';
    const double seconds =
        std::isfinite(marker.seconds) && marker.seconds >= 0 && marker.seconds <= kLongestMarkerTime
            ? marker.seconds
            : 0.0;
    o = std::to_chars(o, numbers + sizeof numbers - 1, seconds, std::chars_format::fixed, 3).ptr;
    *o++ = ',';
    return std::string(numbers, o) + '"' + storedComment(marker.text) + "\"\r\n";
}

namespace {

bool parseLine(std::string_view line, std::int64_t lastRecord, Marker* out) {
    const auto comma1 = line.find(',');
    if (comma1 == std::string_view::npos) return false;
    const auto comma2 = line.find(',', comma1 + 1);
    if (comma2 == std::string_view::npos) return false;
    std::int64_t record = 0;
    const std::string_view recordText = line.substr(0, comma1);
    const auto r =
        std::from_chars(recordText.data(), recordText.data() + recordText.size(), record);
    if (r.ec != std::errc() || r.ptr != recordText.data() + recordText.size()) return false;
    if (record < 1 || record > INT32_MAX || (lastRecord >= 0 && record > lastRecord)) return false;
    double seconds = 0;
    const std::string_view secondsText = line.substr(comma1 + 1, comma2 - comma1 - 1);
    const auto s =
        std::from_chars(secondsText.data(), secondsText.data() + secondsText.size(), seconds);
    if (s.ec != std::errc() || s.ptr != secondsText.data() + secondsText.size() ||
        !std::isfinite(seconds) || seconds < 0 || seconds > kLongestMarkerTime)
        return false;
    const std::string_view quoted = line.substr(comma2 + 1);
    if (quoted.size() < 2 || quoted.front() != '"' || quoted.back() != '"') return false;
    const std::string_view text = quoted.substr(1, quoted.size() - 2);
    if (text.find('"') != std::string_view::npos) return false;
    out->record = static_cast<std::int32_t>(record);
    out->seconds = seconds;
    out->text = readComment(text);
    return true;
}

} // namespace

MarkerFile readMarkers(std::string_view bytes, std::int64_t lastRecord) {
    MarkerFile file;
    platform::forEachLine(bytes, [&](std::string_view line, int number, bool whole) {
        Marker marker;
        if (whole && parseLine(line, lastRecord, &marker)) {
            file.markers.push_back(std::move(marker));
        } else if (!line.empty() || !whole) {
            file.badLines.push_back(number);
        }
    });
    return file;
}

} // namespace sylvane::storage
