#pragma once
// sylvane-extra.ini, beside sylvane.ini in the program folder: the settings that sylvane.ini,
// whose 24 lines stay exactly as they are, has no place for. One "Key=value" a line; blank
// lines, lines starting with ";", "#" or "[" and unknown keys are passed over. The user may write
// it by hand; where the program changes a setting it rewrites that setting's line only, so that
// the user's other lines and comments stay as they were:
//
//     ReconnectWaitSeconds=60
//     ResponseThresholdMicrosiemens=0.05
//     Tone=1
//     ToneBaseHz=440

#include <optional>
#include <string>
#include <string_view>

namespace sylvane::storage {

inline constexpr const char* kExtraSettingsFileName = "sylvane-extra.ini";

inline constexpr const char* kReconnectWaitKey = "ReconnectWaitSeconds";
inline constexpr int kDefaultReconnectWait = 60;
inline constexpr int kLongestReconnectWait = 3600;

inline constexpr const char* kResponseThresholdKey = "ResponseThresholdMicrosiemens";
inline constexpr double kDefaultResponseThreshold = 0.05;

// The biofeedback tone: on or off (Session > Tone), its pitch at the session's reference reading,
// the octaves it moves for each doubling of conductance, and its volume.
inline constexpr const char* kToneKey = "Tone";
inline constexpr const char* kToneBaseHzKey = "ToneBaseHz";
inline constexpr double kDefaultToneBaseHz = 440;
inline constexpr double kLowestToneBaseHz = 50;
inline constexpr double kHighestToneBaseHz = 4000;
inline constexpr const char* kToneOctavesKey = "ToneOctavesPerDoubling";
inline constexpr double kDefaultToneOctaves = 1;
inline constexpr double kMostToneOctaves = 10;
inline constexpr const char* kToneVolumeKey = "ToneVolume";
inline constexpr double kDefaultToneVolume = 40;

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

// A tone setting of the file's text, and why the file's value was not taken ("" when it was, or
// when there is none). A dialog checks a typed value by handing "Key=value" alone.
struct ToneSetting {
    double value = 0;
    std::string problem;
};
// Tone=1 turns the tone on; anything else, or no line, leaves it off.
bool toneOnOf(std::string_view fileText);
// ToneBaseHz: 50 to 4000 Hz, 440 by default.
ToneSetting toneBaseHzOf(std::string_view fileText);
// ToneOctavesPerDoubling: above 0 and at most 10, 1 by default.
ToneSetting toneOctavesPerDoublingOf(std::string_view fileText);
// ToneVolume: 0 to 100, 40 by default.
ToneSetting toneVolumeOf(std::string_view fileText);

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
