#pragma once
// sylvane.ini, the one file that carries the port, the sensitivity, the six panel choices and
// the window's size and place from one run to the next. Twelve pairs of a quoted key line and a
// value line, CR LF ended; the keys are written with their historical spelling and trailing
// blanks so that files written by earlier versions and by this one read the same.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace sylvane::app {

inline constexpr const char* kSettingsFileName = "sylvane.ini";

// The six panel entries in file order.
enum PanelEntry : int {
    kPixGrafEntry = 0,
    kColorGrafEntry,
    kBarGrafEntry,
    kInternStatusEntry,
    kCommentsEntry,
    kTimeEntry,
};
inline constexpr int kPanelEntryCount = 6;

// What a visible entry adds to panelUnits when the file is read. The time panel counts 2 here
// but 3 in the Display toggles; both tallies are kept as they are, the layout divides by
// whatever total results.
inline constexpr std::array<std::int32_t, kPanelEntryCount> kReaderPanelWeights = {16, 2, 2,
                                                                                   3,  3, 2};

// The COM ports the port dialog offers.
inline constexpr int kLowestPort = 1;
inline constexpr int kHighestPort = 8;
inline constexpr const char* kFallbackPort = "2";
inline constexpr const char* kFallbackSensitivity = "20";

inline constexpr const char* kShown = "True";
inline constexpr const char* kHidden = "False";

struct SettingsValues {
    std::string port;
    std::string sensitivity;
    // "True" or "False" in file order (PanelEntry).
    std::array<std::string, kPanelEntryCount> visible;
    std::int32_t formWidth = 0;
    std::int32_t formHeight = 0;
    std::int32_t formTop = 0;
    std::int32_t formLeft = 0;
    std::int32_t panelUnits = 0;
};

// A panel is shown only for the exact text "True".
inline bool isShown(std::string_view visibility) {
    return visibility == kShown;
}

// Reads the file's text field by field over `before`: a field that cannot be read (file too
// short, a text where a number belongs) leaves its value as it was in `before`. Keys are read
// and not compared. A port outside 1..8 becomes "2", a sensitivity outside 20..1000 "20", any
// visibility other than "True" "False"; each shown panel adds its weight to panelUnits.
SettingsValues readSettings(std::string_view fileText, SettingsValues before = {});

// The 24 lines of the file. Port and sensitivity go out as given (the reader checks them next
// time); visibility texts other than "True" are written as "False".
std::string writeSettings(const SettingsValues& values);

// Values for a first run without a settings file, from the screen size in twips: port "2",
// sensitivity "25", every panel shown (28 units), a window 55 % by 75 % of the screen, centred.
SettingsValues firstRunDefaults(double screenWidthTwips, double screenHeightTwips);

} // namespace sylvane::app
