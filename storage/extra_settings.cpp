#include "storage/extra_settings.h"

#include "storage/session_times.h"

#include <charconv>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>

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

// A number of the key's last line that lies in [lowest, highest] (above lowest when it is
// excluded); the default, with a problem naming what is wanted, otherwise.
ToneSetting numberOf(std::string_view text, const char* key, double fallback, double lowest,
                     bool lowestExcluded, double highest, const std::string& wanted,
                     const std::string& unit) {
    ToneSetting setting{fallback, {}};
    const auto value = valueOf(text, key);
    if (!value) return setting;
    double number = 0;
    const auto r = std::from_chars(value->data(), value->data() + value->size(), number);
    if (value->empty() || r.ec != std::errc() || r.ptr != value->data() + value->size() ||
        !std::isfinite(number) || number < lowest || (lowestExcluded && number == lowest) ||
        number > highest) {
        std::ostringstream fallbackText;
        fallbackText << fallback;
        setting.problem = std::string(kExtraSettingsFileName) + ": " + key + " \"" +
                          std::string(*value) + "\" is not " + wanted + "; " + fallbackText.str() +
                          unit + " is taken instead.";
    } else {
        setting.value = number;
    }
    return setting;
}

} // namespace

bool toneOnOf(std::string_view text) {
    return valueOf(text, kToneKey) == std::string_view("1");
}

ToneSetting toneBaseHzOf(std::string_view text) {
    return numberOf(text, kToneBaseHzKey, kDefaultToneBaseHz, kLowestToneBaseHz, false,
                    kHighestToneBaseHz, "a frequency from 50 to 4000 Hz", " Hz");
}

ToneSetting toneOctavesPerDoublingOf(std::string_view text) {
    return numberOf(text, kToneOctavesKey, kDefaultToneOctaves, 0, true, kMostToneOctaves,
                    "a number of octaves above 0 and at most 10", "");
}

ToneSetting toneVolumeOf(std::string_view text) {
    return numberOf(text, kToneVolumeKey, kDefaultToneVolume, 0, false, 100,
                    "a volume from 0 to 100", "");
}

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
