#include "app/settings_file.h"

#include "platform/free_format.h"
#include "platform/number_rules.h"

namespace sylvane::app {

namespace {

// Key texts exactly as earlier versions wrote them.
constexpr std::array<const char*, 12> kKeys = {
    "Port # ",
    "Sensitivty = ",
    "Picture graph visibilty = ",
    "Color graph visibilty = ",
    "Bar graph visibilty = ",
    "Internal status visibilty = ",
    "Session comments visibilty = ",
    "Time etc. visibilty = ",
    "Form Width = ",
    "Form Height = ",
    "Form Top = ",
    "Form Left = ",
};

void readText(platform::FreeFormatReader& in, std::string& value) {
    if (auto field = in.nextField()) value = std::move(*field);
}

void readWhole(platform::FreeFormatReader& in, std::int32_t& value) {
    if (auto number = in.nextWholeNumber()) value = *number;
}

void skipKey(platform::FreeFormatReader& in) {
    in.nextField();
}

} // namespace

SettingsValues readSettings(std::string_view fileText, SettingsValues before) {
    SettingsValues v = std::move(before);
    platform::FreeFormatReader in(fileText);

    skipKey(in);
    readText(in, v.port);
    const double port = platform::numericValue(v.port);
    if (port < kLowestPort || port > kHighestPort) v.port = kFallbackPort;

    skipKey(in);
    readText(in, v.sensitivity);
    const double sensitivity = platform::numericValue(v.sensitivity);
    if (sensitivity < 20 || sensitivity > 1000) v.sensitivity = kFallbackSensitivity;

    for (int i = 0; i < kPanelEntryCount; ++i) {
        skipKey(in);
        readText(in, v.visible[i]);
        if (isShown(v.visible[i])) {
            v.panelUnits += kReaderPanelWeights[i];
        } else {
            v.visible[i] = kHidden;
        }
    }

    skipKey(in);
    readWhole(in, v.formWidth);
    skipKey(in);
    readWhole(in, v.formHeight);
    skipKey(in);
    readWhole(in, v.formTop);
    skipKey(in);
    readWhole(in, v.formLeft);
    return v;
}

std::string writeSettings(const SettingsValues& values) {
    std::string out;
    out.reserve(512);
    out += platform::quotedLine(kKeys[0]);
    out += platform::quotedLine(values.port);
    out += platform::quotedLine(kKeys[1]);
    out += platform::quotedLine(values.sensitivity);
    for (int i = 0; i < kPanelEntryCount; ++i) {
        out += platform::quotedLine(kKeys[2 + i]);
        out += platform::quotedLine(isShown(values.visible[i]) ? kShown : kHidden);
    }
    const std::int32_t placement[4] = {values.formWidth, values.formHeight, values.formTop,
                                       values.formLeft};
    for (int i = 0; i < 4; ++i) {
        out += platform::quotedLine(kKeys[8 + i]);
        out += platform::numberLine(placement[i]);
    }
    return out;
}

SettingsValues firstRunDefaults(double screenWidthTwips, double screenHeightTwips) {
    SettingsValues v;
    v.port = "2";
    v.sensitivity = "25";
    v.visible.fill(kShown);
    v.panelUnits = 28;
    v.formWidth = platform::nearest(screenWidthTwips * 0.55);
    v.formHeight = platform::nearest(screenHeightTwips * 0.75);
    v.formLeft = platform::nearest((screenWidthTwips - v.formWidth) / 2);
    v.formTop = platform::nearest((screenHeightTwips - v.formHeight) / 2);
    return v;
}

} // namespace sylvane::app
