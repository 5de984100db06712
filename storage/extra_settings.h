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
//     OscMarkerPort=0
//     OscMarkerAddress=127.0.0.1
//     OscSendTo=
//     Tone=1
//     ToneBaseHz=440

#include <cstdint>
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
// The seconds after a marker in which a response's onset belongs to it, both ends included.
inline constexpr const char* kResponseWindowKey = "ResponseWindowSeconds";
inline constexpr double kDefaultResponseWindowFrom = 1;
inline constexpr double kDefaultResponseWindowTo = 4;
inline constexpr double kLongestResponseWindow = 60;

inline constexpr const char* kUnsavedKeptKey = "UnsavedSessionsKept";
inline constexpr int kDefaultUnsavedKept = 100;
inline constexpr int kMostUnsavedKept = 100000;
inline constexpr const char* kOscMarkerPortKey = "OscMarkerPort";
inline constexpr const char* kOscMarkerAddressKey = "OscMarkerAddress";
inline constexpr const char* kDefaultOscMarkerAddress = "127.0.0.1";
inline constexpr const char* kOscSendToKey = "OscSendTo";
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

// The skin responses' settings of the file's text, each the default when its line is missing, or
// with a line in problems ("sylvane-extra.ini: ...") when its value is not taken.
struct ResponseSettings {
    double thresholdMicrosiemens = kDefaultResponseThreshold;
    double windowFromSeconds = kDefaultResponseWindowFrom;
    double windowToSeconds = kDefaultResponseWindowTo;
    std::vector<std::string> problems;
};
ResponseSettings responseSettingsOf(std::string_view fileText);
// A window as the file keeps it, "from,to" ("1,4", "0.5,3.25").
std::string responseWindowText(double fromSeconds, double toSeconds);

struct UnsavedKept {
    // How many unsaved sessions unsaved/ keeps, at least 1.
    int sessions = kDefaultUnsavedKept;
    std::string problem;
};

// UnsavedSessionsKept of the file's text: the default without the key, and the default with a
// problem when the value is not a whole number from 1 to 100000.
UnsavedKept unsavedKeptOf(std::string_view fileText);
// Each setting's rule, for the file's reader and for the Preferences dialog: why a value is not
// one the setting takes, as the end of a sentence that names the setting and the value ("is not a
// whole number of seconds from 0 to 3600"); "" when the value is taken.
std::string reconnectWaitProblem(std::string_view value);
std::string responseThresholdProblem(std::string_view value);
// Two numbers of seconds from 0 to 60, the first below the second.
std::string responseWindowProblem(std::string_view value);
std::string oscMarkerPortProblem(std::string_view value);
std::string oscMarkerAddressProblem(std::string_view value);
std::string oscSendToProblem(std::string_view value);
std::string unsavedKeptProblem(std::string_view value);
std::string toneBaseHzProblem(std::string_view value);
std::string toneOctavesProblem(std::string_view value);
std::string toneVolumeProblem(std::string_view value);

// Stimulus software over OSC (UDP): where markers are taken and where readings go.
struct OscSettings {
    // The UDP port markers are taken on; 0 takes none.
    std::uint16_t markerPort = 0;
    // The address of this computer the port is opened on: loopback unless the user writes another.
    std::string markerAddress = kDefaultOscMarkerAddress;
    // Where readings, markers and Start and Stop go; an empty host sends nothing.
    std::string sendHost;
    std::uint16_t sendPort = 0;
    // Why values of the file were not taken, one line a setting ("" when all were); each such
    // setting keeps its default.
    std::string problem;
};

// The OSC settings of the file's text.
OscSettings oscSettingsOf(std::string_view fileText);
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

// The file's whole text before it is rewritten: "" without a file. False with *error naming the
// file and the reason when it is there but cannot be read whole, so that nothing is written over
// it.
bool readExtraSettingsText(const std::string& programFolder, std::string* text, std::string* error);

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
