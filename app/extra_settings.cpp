#include "app/extra_settings.h"

#include <charconv>

namespace sylvane::app {

namespace {
std::string_view trimmed(std::string_view s) {
    const auto first = s.find_first_not_of(" \t\r");
    if (first == std::string_view::npos) return {};
    return s.substr(first, s.find_last_not_of(" \t\r") - first + 1);
}
} // namespace

ReconnectWait reconnectWaitOf(std::string_view text) {
    ReconnectWait wait;
    while (!text.empty()) {
        const auto end = text.find('\n');
        const std::string_view line = trimmed(text.substr(0, end));
        text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
        const auto equals = line.find('=');
        if (equals == std::string_view::npos ||
            trimmed(line.substr(0, equals)) != kReconnectWaitKey)
            continue;
        const std::string_view value = trimmed(line.substr(equals + 1));
        int seconds = 0;
        const auto r = std::from_chars(value.data(), value.data() + value.size(), seconds);
        if (value.empty() || r.ec != std::errc() || r.ptr != value.data() + value.size() ||
            seconds < 0 || seconds > kLongestReconnectWait) {
            wait.seconds = kDefaultReconnectWait;
            wait.problem = std::string(kExtraSettingsFileName) + ": " + kReconnectWaitKey + " \"" +
                           std::string(value) + "\" is not a whole number of seconds from 0 to " +
                           std::to_string(kLongestReconnectWait) + "; " +
                           std::to_string(kDefaultReconnectWait) + " s are taken instead.";
        } else {
            wait.seconds = seconds;
            wait.problem.clear();
        }
    }
    return wait;
}

} // namespace sylvane::app
