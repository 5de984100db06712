#include "storage/extra_settings.h"

#include "storage/session_times.h"

#include <charconv>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <tuple>
#include <utility>

#include <arpa/inet.h>

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

// A whole number from lo to hi, digits only.
std::optional<int> wholeNumber(std::string_view text, int lo, int hi) {
    int n = 0;
    const auto r = std::from_chars(text.data(), text.data() + text.size(), n);
    if (text.empty() || r.ec != std::errc() || r.ptr != text.data() + text.size() || n < lo ||
        n > hi)
        return std::nullopt;
    return n;
}

bool ipAddress(std::string_view text) {
    const std::string s(text);
    unsigned char bytes[16];
    return ::inet_pton(AF_INET, s.c_str(), bytes) == 1 ||
           ::inet_pton(AF_INET6, s.c_str(), bytes) == 1;
}

// A host name of letters, digits, '-', '_' and dots, or an IPv4 address.
bool hostName(std::string_view text) {
    if (text.empty() || text.size() > 253 || text.front() == '.' || text.front() == '-')
        return false;
    for (const char c : text) {
        const bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
        if (!letter && !(c >= '0' && c <= '9') && c != '-' && c != '_' && c != '.') return false;
    }
    return true;
}

struct HostPort {
    std::string host;
    int port = 0;
};

// "host:port" or "[IPv6]:port".
std::optional<HostPort> hostPort(std::string_view text) {
    const auto colon = text.rfind(':');
    if (colon == std::string_view::npos) return std::nullopt;
    std::string_view host = text.substr(0, colon);
    const auto port = wholeNumber(text.substr(colon + 1), 1, 65535);
    if (!port) return std::nullopt;
    if (host.starts_with('[') && host.ends_with(']')) {
        host = host.substr(1, host.size() - 2);
        if (host.find(':') == std::string_view::npos || !ipAddress(host)) return std::nullopt;
    } else if (!hostName(host)) {
        return std::nullopt;
    }
    return HostPort{std::string(host), *port};
}

// "sylvane-extra.ini: Key "value" is not ...; what is done instead."
std::string problemLine(std::string_view key, std::string_view value, std::string_view problem,
                        std::string_view instead) {
    return std::string(kExtraSettingsFileName) + ": " + std::string(key) + " \"" +
           std::string(value) + "\" " + std::string(problem) + "; " + std::string(instead);
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

std::string reconnectWaitProblem(std::string_view value) {
    if (wholeNumber(value, 0, kLongestReconnectWait)) return {};
    return "is not a whole number of seconds from 0 to " + std::to_string(kLongestReconnectWait);
}

std::string responseThresholdProblem(std::string_view value) {
    double threshold = 0;
    const auto r = std::from_chars(value.data(), value.data() + value.size(), threshold);
    if (!value.empty() && r.ec == std::errc() && r.ptr == value.data() + value.size() &&
        std::isfinite(threshold) && threshold > 0 && threshold < 100)
        return {};
    return "is not a number of microsiemens above 0 and below 100";
}

std::string oscMarkerPortProblem(std::string_view value) {
    if (wholeNumber(value, 0, 65535)) return {};
    return "is not a UDP port from 1 to 65535, or 0 to take no markers";
}

std::string oscMarkerAddressProblem(std::string_view value) {
    if (ipAddress(value)) return {};
    return "is not an IP address of this computer, such as 127.0.0.1 (this computer only), "
           "0.0.0.0 (every network) or ::1";
}

std::string oscSendToProblem(std::string_view value) {
    if (value.empty() || hostPort(value)) return {};
    return "is not host:port (such as 127.0.0.1:9001, localhost:9001 or [::1]:9001, a port from 1 "
           "to 65535), or empty to send nothing";
}

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
    const std::string problem = reconnectWaitProblem(*value);
    if (!problem.empty()) {
        wait.problem = problemLine(kReconnectWaitKey, *value, problem,
                                   std::to_string(kDefaultReconnectWait) + " s are taken instead.");
    } else {
        wait.seconds = *wholeNumber(*value, 0, kLongestReconnectWait);
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

double responseThresholdOf(std::string_view text) {
    return responseSettingsOf(text).thresholdMicrosiemens;
}

namespace {

// A whole text that is a decimal number, "." whatever the locale.
std::optional<double> decimalOf(std::string_view text) {
    text = trimmed(text);
    double value = 0;
    const auto r = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || r.ec != std::errc() || r.ptr != text.data() + text.size() ||
        !std::isfinite(value))
        return std::nullopt;
    return value;
}

std::string decimalText(double value) {
    char text[64];
    return std::string(text, std::to_chars(text, text + sizeof text, value).ptr);
}

// The window of a ResponseWindowSeconds value, when it is one.
std::optional<std::pair<double, double>> responseWindowOf(std::string_view value) {
    const auto comma = value.find(',');
    if (comma == std::string_view::npos) return std::nullopt;
    const auto from = decimalOf(value.substr(0, comma));
    const auto to = decimalOf(value.substr(comma + 1));
    if (!from || !to || *from < 0 || *from >= *to || *to > kLongestResponseWindow)
        return std::nullopt;
    return std::pair{*from, *to};
}

} // namespace

std::string responseWindowProblem(std::string_view value) {
    if (responseWindowOf(value)) return {};
    return "is not two numbers of seconds from 0 to " + decimalText(kLongestResponseWindow) +
           ", the first below the second (as in " +
           responseWindowText(kDefaultResponseWindowFrom, kDefaultResponseWindowTo) + ")";
}

std::string responseWindowText(double fromSeconds, double toSeconds) {
    return decimalText(fromSeconds) + "," + decimalText(toSeconds);
}

ResponseSettings responseSettingsOf(std::string_view text) {
    ResponseSettings settings;
    if (const auto value = valueOf(text, kResponseThresholdKey)) {
        if (const std::string problem = responseThresholdProblem(*value); problem.empty()) {
            settings.thresholdMicrosiemens = *decimalOf(*value);
        } else {
            settings.problems.push_back(
                problemLine(kResponseThresholdKey, *value, problem,
                            decimalText(kDefaultResponseThreshold) + " uS is taken instead."));
        }
    }
    if (const auto value = valueOf(text, kResponseWindowKey)) {
        if (const auto window = responseWindowOf(*value)) {
            std::tie(settings.windowFromSeconds, settings.windowToSeconds) = *window;
        } else {
            settings.problems.push_back(problemLine(
                kResponseWindowKey, *value, responseWindowProblem(*value),
                responseWindowText(kDefaultResponseWindowFrom, kDefaultResponseWindowTo) +
                    " is taken instead."));
        }
    }
    return settings;
}

OscSettings oscSettingsOf(std::string_view text) {
    OscSettings osc;
    const auto note = [&](std::string line) {
        if (!osc.problem.empty()) osc.problem += "\r\n";
        osc.problem += line;
    };
    if (const auto port = valueOf(text, kOscMarkerPortKey)) {
        if (const auto n = wholeNumber(*port, 0, 65535))
            osc.markerPort = static_cast<std::uint16_t>(*n);
        else
            note(problemLine(kOscMarkerPortKey, *port, oscMarkerPortProblem(*port),
                             "no markers are taken."));
    }
    if (const auto address = valueOf(text, kOscMarkerAddressKey)) {
        if (ipAddress(*address))
            osc.markerAddress = std::string(*address);
        else
            note(problemLine(kOscMarkerAddressKey, *address, oscMarkerAddressProblem(*address),
                             std::string(kDefaultOscMarkerAddress) + " is taken instead."));
    }
    if (const auto sendTo = valueOf(text, kOscSendToKey); sendTo && !sendTo->empty()) {
        if (const auto target = hostPort(*sendTo)) {
            osc.sendHost = target->host;
            osc.sendPort = static_cast<std::uint16_t>(target->port);
        } else {
            note(problemLine(kOscSendToKey, *sendTo, oscSendToProblem(*sendTo),
                             "no readings are sent."));
        }
    }
    return osc;
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

bool readExtraSettingsText(const std::string& programFolder, std::string* text,
                           std::string* error) {
    const std::filesystem::path path =
        std::filesystem::path(programFolder) / kExtraSettingsFileName;
    text->clear();
    std::error_code ec;
    const auto status = std::filesystem::status(path, ec);
    if (status.type() == std::filesystem::file_type::not_found) return true;
    const auto fail = [&](const std::string& reason) {
        if (error) *error = path.string() + ": " + reason;
        return false;
    };
    if (ec) return fail(ec.message());
    if (status.type() != std::filesystem::file_type::regular) return fail("not a file");
    std::ifstream in(path, std::ios::binary);
    if (!in) return fail("cannot be read");
    // Settings are a few lines; a file far larger is not one the program should rewrite.
    constexpr std::size_t kLargest = 1 << 20;
    std::string bytes(kLargest + 1, '\0');
    in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (in.bad()) return fail("cannot be read");
    bytes.resize(static_cast<std::size_t>(in.gcount()));
    if (bytes.size() > kLargest) return fail("larger than 1 MB");
    *text = std::move(bytes);
    return true;
}

std::string unsavedKeptProblem(std::string_view value) {
    if (wholeNumber(value, 1, kMostUnsavedKept)) return {};
    return "is not a whole number from 1 to " + std::to_string(kMostUnsavedKept);
}

namespace {
// The rule of a tone setting: its reader given the value alone.
std::string toneProblem(ToneSetting (*of)(std::string_view), const char* key,
                        std::string_view value, const char* rule) {
    return of(std::string(key) + "=" + std::string(value)).problem.empty() ? std::string() : rule;
}
} // namespace

std::string toneBaseHzProblem(std::string_view value) {
    return toneProblem(toneBaseHzOf, kToneBaseHzKey, value,
                       "is not a frequency from 50 to 4000 Hz");
}

std::string toneOctavesProblem(std::string_view value) {
    return toneProblem(toneOctavesPerDoublingOf, kToneOctavesKey, value,
                       "is not a number of octaves above 0 and at most 10");
}

std::string toneVolumeProblem(std::string_view value) {
    return toneProblem(toneVolumeOf, kToneVolumeKey, value, "is not a volume from 0 to 100");
}

} // namespace sylvane::storage
