#pragma once
// sylvane-extra.ini, beside sylvane.ini in the program folder: the settings that sylvane.ini,
// whose 24 lines stay exactly as they are, has no place for. One "Key=value" a line; blank
// lines, lines starting with ";", "#" or "[" and unknown keys are passed over. The user may write
// it by hand; where the program changes a setting it rewrites that setting's line only, so that
// the user's other lines and comments stay as they were:
//
//     ReconnectWaitSeconds=60
//     ResponseThresholdMicrosiemens=0.05
//     ResponseWindowSeconds=1,4

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sylvane::storage {

inline constexpr const char* kExtraSettingsFileName = "sylvane-extra.ini";

inline constexpr const char* kReconnectWaitKey = "ReconnectWaitSeconds";
inline constexpr int kDefaultReconnectWait = 60;
inline constexpr int kLongestReconnectWait = 3600;

inline constexpr const char* kResponseThresholdKey = "ResponseThresholdMicrosiemens";
inline constexpr double kDefaultResponseThreshold = 0.05;

inline constexpr const char* kUnsavedKeptKey = "UnsavedSessionsKept";
inline constexpr int kDefaultUnsavedKept = 100;
inline constexpr int kMostUnsavedKept = 100000;

struct ReconnectWait {
    // How long a session waits for a lost probe port to come back; 0 ends it at once.
    int seconds = kDefaultReconnectWait;
    // Why the file's value was not taken ("" when it was, or when there is none).
    std::string problem;
};

// ReconnectWaitSeconds of the file's text: the default without the key, and the default with a
// problem when the value is not a whole number of seconds from 0 to 3600.
ReconnectWait reconnectWaitOf(std::string_view fileText);

// ResponseThresholdMicrosiemens of the file's text: the smallest rise of conductance counted as
// a skin response; the default without the key or for a value that is not above 0 and below 100.
double responseThresholdOf(std::string_view fileText);

struct UnsavedKept {
    // How many unsaved sessions unsaved/ keeps, at least 1.
    int sessions = kDefaultUnsavedKept;
    std::string problem;
};

// UnsavedSessionsKept of the file's text: the default without the key, and the default with a
// problem when the value is not a whole number from 1 to 100000.
UnsavedKept unsavedKeptOf(std::string_view fileText);

inline constexpr const char* kResponseWindowKey = "ResponseWindowSeconds";
inline constexpr double kDefaultResponseWindowFrom = 1;
inline constexpr double kDefaultResponseWindowTo = 4;
inline constexpr double kLongestResponseWindow = 60;

// The settings of the skin responses, each the default with a problem for a value not taken.
// The problems name the setting and the value; the file-level reader puts the file's name
// before them.
struct ResponseThreshold {
    double microsiemens = kDefaultResponseThreshold;
    std::string problem;
};
struct ResponseWindow {
    // The seconds after a marker in which a response's onset belongs to it, both included.
    double fromSeconds = kDefaultResponseWindowFrom;
    double toSeconds = kDefaultResponseWindowTo;
    std::string problem;
};
// A threshold as written or typed: a number of microsiemens above 0 and below 100.
ResponseThreshold responseThresholdOfValue(std::string_view value);
// A window as written or typed, "from,to": two numbers of seconds from 0 to 60, the first below
// the second.
ResponseWindow responseWindowOfValue(std::string_view value);
// The window as the file keeps it ("1,4", "0.5,3.25").
std::string responseWindowText(double fromSeconds, double toSeconds);

struct ResponseSettings {
    double thresholdMicrosiemens = kDefaultResponseThreshold;
    double windowFromSeconds = kDefaultResponseWindowFrom;
    double windowToSeconds = kDefaultResponseWindowTo;
    // "sylvane-extra.ini: ..." for each value not taken.
    std::vector<std::string> problems;
};
// ResponseThresholdMicrosiemens and ResponseWindowSeconds of the file's text, the defaults for a
// line that is missing.
ResponseSettings responseSettingsOf(std::string_view fileText);

// The file's text in a program folder ("" when there is none).
std::string extraSettingsText(const std::string& programFolder);

// The value of the key's last line, trimmed; nothing without such a line.
std::optional<std::string> extraSetting(std::string_view fileText, std::string_view key);

// The file's text with the key set to value: the key's last line becomes "Key=value" where it
// stands, or a line is added at the end, with the file's own line ends. Every other line is kept
// byte for byte.
std::string withExtraSetting(std::string_view fileText, std::string_view key,
                             std::string_view value);

// Replaces the file in the program folder with text in one step (a failure leaves the old one).
// False with *error naming the file and the reason.
bool writeExtraSettingsText(const std::string& programFolder, std::string_view text,
                            std::string* error = nullptr);

} // namespace sylvane::storage
