#include "storage/extra_settings.h"

#include "storage/session_times.h"

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

UnsavedKept unsavedKeptOf(std::string_view text) {
    UnsavedKept kept;
    const auto value = valueOf(text, kUnsavedKeptKey);
    if (!value) return kept;
    int sessions = 0;
    const auto r = std::from_chars(value->data(), value->data() + value->size(), sessions);
    if (value->empty() || r.ec != std::errc() || r.ptr != value->data() + value->size() ||
        sessions < 1 || sessions > kMostUnsavedKept) {
        kept.problem = std::string(kExtraSettingsFileName) + ": " + kUnsavedKeptKey + " \"" +
                       std::string(*value) + "\" is not a whole number from 1 to " +
                       std::to_string(kMostUnsavedKept) + "; " +
                       std::to_string(kDefaultUnsavedKept) + " are kept instead.";
    } else {
        kept.sessions = sessions;
    }
    return kept;
}

namespace {

// A whole text that is a decimal number, "." whatever the locale.
std::optional<double> numberOf(std::string_view text) {
    text = trimmed(text);
    double value = 0;
    const auto r = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || r.ec != std::errc() || r.ptr != text.data() + text.size() ||
        !std::isfinite(value))
        return std::nullopt;
    return value;
}

std::string numberText(double value) {
    char text[64];
    const auto r = std::to_chars(text, text + sizeof text, value);
    return std::string(text, r.ptr);
}

} // namespace

ResponseThreshold responseThresholdOfValue(std::string_view value) {
    ResponseThreshold threshold;
    const auto number = numberOf(value);
    if (number && *number > 0 && *number < 100) {
        threshold.microsiemens = *number;
    } else {
        threshold.problem = std::string(kResponseThresholdKey) + " \"" + std::string(value) +
                            "\" is not a number of microsiemens above 0 and below 100; " +
                            numberText(kDefaultResponseThreshold) + " uS is taken instead.";
    }
    return threshold;
}

ResponseWindow responseWindowOfValue(std::string_view value) {
    ResponseWindow window;
    const auto comma = value.find(',');
    const auto from = numberOf(value.substr(0, comma));
    const auto to =
        comma == std::string_view::npos ? std::nullopt : numberOf(value.substr(comma + 1));
    if (from && to && *from >= 0 && *from < *to && *to <= kLongestResponseWindow) {
        window.fromSeconds = *from;
        window.toSeconds = *to;
    } else {
        window.problem =
            std::string(kResponseWindowKey) + " \"" + std::string(value) +
            "\" is not two numbers of seconds from 0 to " + numberText(kLongestResponseWindow) +
            ", the first below the second (as in " +
            responseWindowText(kDefaultResponseWindowFrom, kDefaultResponseWindowTo) + "); " +
            responseWindowText(kDefaultResponseWindowFrom, kDefaultResponseWindowTo) +
            " is taken instead.";
    }
    return window;
}

std::string responseWindowText(double fromSeconds, double toSeconds) {
    return numberText(fromSeconds) + "," + numberText(toSeconds);
}

ResponseSettings responseSettingsOf(std::string_view text) {
    ResponseSettings settings;
    const std::string file = std::string(kExtraSettingsFileName) + ": ";
    if (const auto value = valueOf(text, kResponseThresholdKey)) {
        const ResponseThreshold threshold = responseThresholdOfValue(*value);
        settings.thresholdMicrosiemens = threshold.microsiemens;
        if (!threshold.problem.empty()) settings.problems.push_back(file + threshold.problem);
    }
    if (const auto value = valueOf(text, kResponseWindowKey)) {
        const ResponseWindow window = responseWindowOfValue(*value);
        settings.windowFromSeconds = window.fromSeconds;
        settings.windowToSeconds = window.toSeconds;
        if (!window.problem.empty()) settings.problems.push_back(file + window.problem);
    }
    return settings;
}

double responseThresholdOf(std::string_view text) {
    return responseSettingsOf(text).thresholdMicrosiemens;
}

std::optional<std::string> extraSetting(std::string_view text, std::string_view key) {
    const auto value = valueOf(text, key);
    if (!value) return std::nullopt;
    return std::string(*value);
}

std::string withExtraSetting(std::string_view text, std::string_view key, std::string_view value) {
    // The program's own files end their lines CR LF; a file the user wrote with LF keeps LF.
    const bool lf =
        text.find('\n') != std::string_view::npos && text.find("\r\n") == std::string_view::npos;
    const std::string_view newline = lf ? "\n" : "\r\n";
    const std::string line = std::string(key) + "=" + std::string(value);
    // Where the key's last line starts and ends (its line end excluded).
    std::size_t lastBegin = std::string_view::npos;
    std::size_t lastEnd = 0;
    for (std::size_t at = 0; at < text.size();) {
        std::size_t end = text.find('\n', at);
        if (end == std::string_view::npos) end = text.size();
        std::size_t content = end;
        if (content > at && text[content - 1] == '\r') --content;
        const std::string_view l = trimmed(text.substr(at, content - at));
        const auto equals = l.find('=');
        if (equals != std::string_view::npos && trimmed(l.substr(0, equals)) == key) {
            lastBegin = at;
            lastEnd = content;
        }
        at = end + 1;
    }
    if (lastBegin != std::string_view::npos) {
        return std::string(text.substr(0, lastBegin)) + line + std::string(text.substr(lastEnd));
    }
    std::string out(text);
    if (!out.empty() && out.back() != '\n') out += newline;
    return out + line + std::string(newline);
}

bool writeExtraSettingsText(const std::string& programFolder, std::string_view text,
                            std::string* error) {
    return replaceFile(std::filesystem::path(programFolder) / kExtraSettingsFileName, text, error);
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
