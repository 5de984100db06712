#include "app/settings_file.h"
#include "storage/extra_settings.h"

#include <gtest/gtest.h>

using namespace sylvane::app;
using namespace sylvane::storage;

namespace {

const std::string kExpectedFile =
    "\"Port # \"\r\n\"7\"\r\n\"Sensitivty = \"\r\n\" 250\"\r\n"
    "\"Picture graph visibilty = \"\r\n\"True\"\r\n\"Color graph visibilty = \"\r\n\"False\"\r\n"
    "\"Bar graph visibilty = \"\r\n\"True\"\r\n\"Internal status visibilty = \"\r\n\"False\"\r\n"
    "\"Session comments visibilty = \"\r\n\"False\"\r\n\"Time etc. visibilty = \"\r\n\"True\"\r\n"
    "\"Form Width = \"\r\n8445\r\n\"Form Height = \"\r\n8640\r\n"
    "\"Form Top = \"\r\n-15\r\n\"Form Left = \"\r\n3450\r\n";

// The written file with its value lines (0 port, 1 sensitivity, 2-7 panels, 8-11 placement)
// replaced as they would stand in the file, quotes included.
std::string fileWith(std::vector<std::pair<int, std::string>> values) {
    std::string text = kExpectedFile;
    for (const auto& [index, value] : values) {
        std::size_t at = 0;
        for (int line = 0; line < 2 * index + 1; ++line) at = text.find("\r\n", at) + 2;
        text.replace(at, text.find("\r\n", at) - at, value);
    }
    return text;
}

} // namespace

TEST(SettingsFile, ExactBytesWrittenAndWhatIsReadCheckedOrSkippedKeepingTheValueBefore) {
    SettingsValues v{"7", " 250", {"True", "False", "True", "", "true", "True"}, 8445, 8640,
                     -15, 3450};
    EXPECT_EQ(writeSettings(v), kExpectedFile);
    // The port dialog offers COM1 to COM8; a reader that knew only 1 to 4 turned a user's COM5
    // to COM8 into COM2 at the next start.
    const std::array<const char*, 4> rows[] = {
        {"0", "25", "2", "25"},      {"5", "19", "5", "20"},       {"8", "1001", "8", "20"},
        {"9", "1000", "2", "1000"},  {"2.5", "true", "2.5", "20"}, {"-3", "", "2", "20"},
        {"COM3", "25%", "2", "25%"}, {" 7", "20.5", " 7", "20.5"}, {"8.0001", "19.99", "2", "20"}};
    for (const auto& [port, sensitivity, portRead, sensitivityRead] : rows) {
        const SettingsValues read = readSettings(fileWith(
            {{0, std::string("\"") + port + "\""}, {1, std::string("\"") + sensitivity + "\""}}));
        EXPECT_EQ(read.port, portRead) << "port " << port;
        EXPECT_EQ(read.sensitivity, sensitivityRead) << "sensitivity " << sensitivity;
    }
    // Only the exact text True shows a panel; blanks around an unquoted one are not part of it
    // (all six "True" are read on the real window, main_window_e2e).
    const std::tuple<std::array<const char*, 6>, const char*, std::int32_t> panels[] = {
        {{"\"true\"", "\"TRUE\"", "\" True\"", "\"False\"", "\"yes\"", "\"\""}, "000000", 0},
        {{"True", "  True  ", "False", "1", "-1", "True"}, "110001", 20}};
    for (const auto& [visible, shownRow, units] : panels) {
        std::vector<std::pair<int, std::string>> values;
        for (int i = 0; i < 6; ++i) values.push_back({2 + i, visible[std::size_t(i)]});
        const SettingsValues read = readSettings(fileWith(values));
        std::string shown;
        for (const auto& text : read.visible)
            shown += text == "True" ? '1' : text == "False" ? '0' : '?';
        EXPECT_EQ(std::pair(shown, read.panelUnits), std::pair(std::string(shownRow), units));
    }

    SettingsValues before;
    std::tie(before.formWidth, before.formHeight, before.formTop, before.formLeft) =
        std::tuple(777, 888, 99, 11);
    using Placement = std::array<std::int32_t, 4>; // width, height, top, left
    const Placement kept{777, 888, 99, 11};
    const std::tuple<std::string, std::string, std::string, Placement> damaged[] = {
        {"", "2", "20", kept},
        {fileWith({{8, "\"wide\""}, {10, "top"}}), "7", " 250", {777, 8640, 99, 3450}},
        {kExpectedFile + "\"more\"\r\n12\r\n", "7", " 250", {8445, 8640, -15, 3450}},
        {"\"Port # \"\r\n\"4\"\r\n\"Sensitivty = \"\r\n\"3", "4", "20", kept},
        {std::string("\0\xff\"\x01,,\r\n\xfe", 10), "2", "20", kept}};
    for (const auto& [text, port, sensitivity, placement] : damaged) {
        const SettingsValues got = readSettings(text, before);
        EXPECT_EQ(std::tuple(got.port, got.sensitivity,
                             Placement{got.formWidth, got.formHeight, got.formTop, got.formLeft}),
                  std::tuple(port, sensitivity, placement))
            << text;
    }
    // First start: 8638.5 and 3456.5 to the even neighbour (a 1024 x 768 screen: main_window_e2e).
    const SettingsValues first = firstRunDefaults(15362, 11518);
    EXPECT_EQ((Placement{first.formWidth, first.formHeight, first.formLeft, first.formTop}),
              (Placement{8449, 8638, 3456, 1440}));
    EXPECT_EQ(writeSettings(readSettings(writeSettings(first))), writeSettings(first));
}

TEST(ExtraSettings, EachSettingFromItsLineOrTheDefaultWithTheReason) {
    const std::tuple<std::string, int, bool> rows[] = {
        // text, seconds, a problem told
        {"", 60, false},
        {"; comment\r\nOther=5\r\n", 60, false},
        // 0 (a lost port ends the session) is read on the real program (acquisition_e2e).
        {"  ReconnectWaitSeconds = 3600 ", 3600, false},
        {"ReconnectWaitSeconds=3601", 60, true},
        {"ReconnectWaitSeconds=-1", 60, true},
        {"ReconnectWaitSeconds=10s", 60, true},
        {"ReconnectWaitSeconds=x\nReconnectWaitSeconds=5", 5, false}};
    for (const auto& [text, seconds, problem] : rows) {
        const ReconnectWait wait = reconnectWaitOf(text);
        EXPECT_EQ(wait.seconds, seconds) << text;
        EXPECT_EQ(!wait.problem.empty(), problem) << text << wait.problem;
    }
    // The skin responses' settings share the file; a value not taken is the default with a
    // problem naming the file, the setting and the value (defaults shown by Preferences: osc_e2e).
    // text; threshold, window from and to; what each problem holds
    const std::tuple<std::string, double, double, double, std::vector<std::string>> responses[] = {
        {"[responses]\nResponseThresholdMicrosiemens=0.1\nReconnectWaitSeconds=5", 0.1, 1, 4, {}},
        {"ResponseWindowSeconds= 0.5 , 3.25 \r\n", 0.05, 0.5, 3.25, {}},
        {"ResponseWindowSeconds=0,60", 0.05, 0, 60, {}},
        {"ResponseThresholdMicrosiemens=0\nResponseWindowSeconds=4,1",
         0.05,
         1,
         4,
         {"sylvane-extra.ini: ResponseThresholdMicrosiemens \"0\" is not a number of microsiemens "
          "above 0 and below 100; 0.05 uS is taken instead.",
          "sylvane-extra.ini: ResponseWindowSeconds \"4,1\" is not two numbers of seconds from 0 "
          "to 60, the first below the second (as in 1,4); 1,4 is taken instead."}},
        {"ResponseThresholdMicrosiemens=nan", 0.05, 1, 4, {"nan"}},
        {"ResponseWindowSeconds=-1,4", 0.05, 1, 4, {"\"-1,4\""}},
        {"ResponseWindowSeconds=1,61", 0.05, 1, 4, {"\"1,61\""}},
        {"ResponseWindowSeconds=1,4,5", 0.05, 1, 4, {"\"1,4,5\""}},
    };
    for (const auto& [text, threshold, from, to, problems] : responses) {
        const ResponseSettings settings = responseSettingsOf(text);
        EXPECT_EQ(std::tuple(settings.thresholdMicrosiemens, responseThresholdOf(text),
                             settings.windowFromSeconds, settings.windowToSeconds),
                  std::tuple(threshold, threshold, from, to))
            << text;
        ASSERT_EQ(settings.problems.size(), problems.size()) << text;
        for (std::size_t i = 0; i < problems.size(); ++i)
            EXPECT_NE(settings.problems[i].find(problems[i]), std::string::npos)
                << settings.problems[i];
    }
    // As the file keeps a window, and as the Preferences dialog checks one.
    EXPECT_EQ(responseWindowText(0.5, 3.25), "0.5,3.25");
    EXPECT_EQ(responseWindowProblem("0.5,3.25"), "");
    EXPECT_EQ(responseWindowProblem("3"), "is not two numbers of seconds from 0 to 60, the first "
                                          "below the second (as in 1,4)");
    // A port and a host by name, and one without a port, are read on the real program (osc_e2e).
    // text; marker port and address, host and port sent to; the lines of the problem
    const std::tuple<const char*, int, const char*, const char*, int, int> oscRows[] = {
        {"", 0, "127.0.0.1", "", 0, 0},
        {"OscMarkerPort = 65535 \nOscMarkerAddress=0.0.0.0\nOscSendTo=[::1]:7000", 65535, "0.0.0.0",
         "::1", 7000, 0},
        {"OscMarkerAddress=::1\nOscSendTo=192.168.1.20:1", 0, "::1", "192.168.1.20", 1, 0},
        {"OscSendTo=", 0, "127.0.0.1", "", 0, 0},
        {"OscMarkerPort=65536", 0, "127.0.0.1", "", 0, 1},
        {"OscMarkerPort=-1\nOscMarkerPort=9000", 9000, "127.0.0.1", "", 0, 0},
        {"OscMarkerPort=90 00\nOscMarkerAddress=localhost", 0, "127.0.0.1", "", 0, 2},
        {"OscMarkerAddress=127.0.0.256", 0, "127.0.0.1", "", 0, 1},
        {"OscSendTo=host:0", 0, "127.0.0.1", "", 0, 1},
        {"OscSendTo=:9001", 0, "127.0.0.1", "", 0, 1},
        {"OscSendTo=::1:9001", 0, "127.0.0.1", "", 0, 1},
        {"OscSendTo=[localhost]:9001", 0, "127.0.0.1", "", 0, 1},
        {"OscSendTo=-x:9001", 0, "127.0.0.1", "", 0, 1},
    };
    for (const auto& [text, markerPort, address, host, sendPort, problems] : oscRows) {
        const OscSettings osc = oscSettingsOf(text);
        EXPECT_EQ(std::tuple(osc.markerPort, osc.markerAddress, osc.sendHost, osc.sendPort),
                  std::tuple(markerPort, address, host, sendPort))
            << text;
        const int lines =
            osc.problem.empty()
                ? 0
                : 1 + static_cast<int>(std::count(osc.problem.begin(), osc.problem.end(), '\n'));
        EXPECT_EQ(lines, problems) << text << osc.problem;
    }
    EXPECT_EQ(oscSettingsOf("OscMarkerPort=x\nOscSendTo=y").problem,
              "sylvane-extra.ini: OscMarkerPort \"x\" is not a UDP port from 1 to 65535, or 0 to "
              "take no markers; no markers are taken.\r\nsylvane-extra.ini: OscSendTo \"y\" is not "
              "host:port (such as 127.0.0.1:9001, localhost:9001 or [::1]:9001, a port from 1 to "
              "65535), or empty to send nothing; no readings are sent.");
    EXPECT_EQ(reconnectWaitOf("ReconnectWaitSeconds=x").problem,
              "sylvane-extra.ini: ReconnectWaitSeconds \"x\" is not a whole number of seconds from "
              "0 to 3600; 60 s are taken instead.");
    using Of = ToneSetting (*)(std::string_view);
    const std::tuple<Of, std::string, double, bool> toneRows[] = {
        // reader, text, value, a problem told
        {toneBaseHzOf, "", 440, false},
        {toneBaseHzOf, "ToneBaseHz=50", 50, false},
        {toneBaseHzOf, " ToneBaseHz = 4000 \r\n", 4000, false},
        {toneBaseHzOf, "ToneBaseHz=49.9", 440, true},
        {toneBaseHzOf, "ToneBaseHz=4001", 440, true},
        {toneBaseHzOf, "ToneBaseHz=440Hz", 440, true},
        {toneOctavesPerDoublingOf, "ToneOctavesPerDoubling=0.5", 0.5, false},
        {toneOctavesPerDoublingOf, "ToneOctavesPerDoubling=10", 10, false},
        {toneOctavesPerDoublingOf, "ToneOctavesPerDoubling=0", 1, true},
        {toneOctavesPerDoublingOf, "ToneOctavesPerDoubling=nan", 1, true},
        {toneVolumeOf, "ToneVolume=0", 0, false},
        {toneVolumeOf, "ToneVolume=100\nToneBaseHz=1", 100, false},
        {toneVolumeOf, "ToneVolume=101", 40, true}};
    for (const auto& [of, text, value, problem] : toneRows) {
        const ToneSetting setting = of(text);
        EXPECT_DOUBLE_EQ(setting.value, value) << text;
        EXPECT_EQ(!setting.problem.empty(), problem) << text << setting.problem;
    }
    EXPECT_EQ(toneBaseHzOf("ToneBaseHz=9").problem,
              "sylvane-extra.ini: ToneBaseHz \"9\" is not a frequency from 50 to 4000 Hz; 440 Hz "
              "is taken instead.");
    // Off by default, and Tone=1, are read on the real program (tone_e2e).
    const std::pair<const char*, bool> tone[] = {{"Tone = 1\r\n", true},
                                                 {"Tone=0", false},
                                                 {"Tone=yes", false},
                                                 {"Tone=1\nTone=0", false},
                                                 {"ToneVolume=1", false}};
    for (const auto& [text, on] : tone) EXPECT_EQ(toneOnOf(text), on) << text;
}

TEST(ExtraSettings, ASettingIsWrittenIntoItsOwnLineAndEveryOtherByteStays) {
    const std::tuple<std::string, std::string, std::string> rows[] = {
        // before, key=value set, after
        {"", "Tone=1", "Tone=1\r\n"},
        {"# no end", "Tone=0", "# no end\r\nTone=0\r\n"},
        {"Tone=0\r\n; keep\r\n  Tone = 1  \r\nX=2", "Tone=7", "Tone=0\r\n; keep\r\nTone=7\r\nX=2"},
        {"[sound]\nToneVolume=30", "ToneVolume=45", "[sound]\nToneVolume=45"}};
    for (const auto& [before, set, after] : rows) {
        const auto equals = set.find('=');
        const std::string text =
            withExtraSetting(before, set.substr(0, equals), set.substr(equals + 1));
        EXPECT_EQ(text, after) << before;
        EXPECT_EQ(extraSetting(text, set.substr(0, equals)), set.substr(equals + 1)) << text;
    }
}
