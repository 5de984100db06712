#include "storage/extra_settings.h"

#include <charconv>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <optional>

namespace sylvane::storage {

namespace {

std::string_view trimmed(std::string_view s) {
    const auto first = s.find_first_not_of(" \t\r");
    if (first == std::string_view::npos) return {};
    return s.substr(first, s.find_last_not_of(" \t\r") - first + 1);
}

// The value of the key's last line in the text.
std::optional<std::string_view> valueOf(std::string_view text, std::string_view key) {
    std::optional<std::string_view> value;
    while (!text.empty()) {
        const auto end = text.find('\n');
        const std::string_view line = trimmed(text.substr(0, end));
        text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
        const auto equals = line.find('=');
        if (equals != std::string_view::npos && trimmed(line.substr(0, equals)) == key)
            value = trimmed(line.substr(equals + 1));
    }
    return value;
}

} // namespace

ReconnectWait reconnectWaitOf(std::string_view text) {
    ReconnectWait wait;
    const auto value = valueOf(text, kReconnectWaitKey);
    if (!value) return wait;
    int seconds = 0;
    const auto r = std::from_chars(value->data(), value->data() + value->size(), seconds);
    if (value->empty() || r.ec != std::errc() || r.ptr != value->data() + value->size() ||
        seconds < 0 || seconds > kLongestReconnectWait) {
        wait.problem = std::string(kExtraSettingsFileName) + ": " + kReconnectWaitKey + " \"" +
                       std::string(*value) + "\" is not a whole number of seconds from 0 to " +
                       std::to_string(kLongestReconnectWait) + "; " +
                       std::to_string(kDefaultReconnectWait) + " s are taken instead.";
    } else {
        wait.seconds = seconds;
    }
    return wait;
}

double responseThresholdOf(std::string_view text) {
    const auto value = valueOf(text, kResponseThresholdKey);
    if (!value) return kDefaultResponseThreshold;
    double threshold = 0;
    const auto r = std::from_chars(value->data(), value->data() + value->size(), threshold);
    if (r.ec != std::errc() || r.ptr != value->data() + value->size() ||
        !std::isfinite(threshold) || threshold <= 0 || threshold >= 100)
        return kDefaultResponseThreshold;
    return threshold;
}

std::string extraSettingsText(const std::string& programFolder) {
    std::ifstream in(std::filesystem::path(programFolder) / kExtraSettingsFileName,
                     std::ios::binary);
    // A few lines; a huge file is read no further than this.
    char buffer[1 << 16];
    in.read(buffer, sizeof buffer);
    return std::string(buffer, static_cast<std::size_t>(in.gcount()));
}

} // namespace sylvane::storage
