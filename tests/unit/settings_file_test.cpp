#include "app/extra_settings.h"
#include "app/settings_file.h"

#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

using namespace sylvane::app;

namespace {

const std::string kExpectedFile = "\"Port # \"\r\n\"7\"\r\n"
                                  "\"Sensitivty = \"\r\n\" 250\"\r\n"
                                  "\"Picture graph visibilty = \"\r\n\"True\"\r\n"
                                  "\"Color graph visibilty = \"\r\n\"False\"\r\n"
                                  "\"Bar graph visibilty = \"\r\n\"True\"\r\n"
                                  "\"Internal status visibilty = \"\r\n\"False\"\r\n"
                                  "\"Session comments visibilty = \"\r\n\"False\"\r\n"
                                  "\"Time etc. visibilty = \"\r\n\"True\"\r\n"
                                  "\"Form Width = \"\r\n8445\r\n"
                                  "\"Form Height = \"\r\n8640\r\n"
                                  "\"Form Top = \"\r\n-15\r\n"
                                  "\"Form Left = \"\r\n3450\r\n";

// The written file with its value lines (0 port, 1 sensitivity, 2-7 panels, 8-11 placement)
// replaced as they would stand in the file, quotes included.
std::string fileWith(std::vector<std::pair<int, std::string>> values) {
    std::vector<std::string> lines;
    for (std::size_t at = 0, next; at < kExpectedFile.size(); at = next + 2) {
        next = kExpectedFile.find("\r\n", at);
        lines.push_back(kExpectedFile.substr(at, next - at));
    }
    for (const auto& [index, text] : values) lines[static_cast<std::size_t>(2 * index + 1)] = text;
    std::string text;
    for (const std::string& line : lines) text += line + "\r\n";
    return text;
}

} // namespace

TEST(SettingsFile, WriterGivesTheExactBytesAndPortsOneToEightSurvive) {
    SettingsValues v;
    v.port = "7";
    v.sensitivity = " 250";
    v.visible = {"True", "False", "True", "", "true", "True"};
    v.formWidth = 8445;
    v.formHeight = 8640;
    v.formTop = -15;
    v.formLeft = 3450;
    EXPECT_EQ(writeSettings(v), kExpectedFile);
    // The port dialog offers COM1 to COM8; a reader that knew only 1 to 4 turned a user's COM5
    // to COM8 into COM2 at the next start.
    for (const char* port : {"1", "5", "8"}) {
        v.port = port;
        EXPECT_EQ(readSettings(writeSettings(v)).port, port);
    }
}

TEST(SettingsFile, ReaderChecksPortSensitivityAndPanels) {
    const struct {
        const char *port, *sensitivity, *portRead, *sensitivityRead;
    } rows[] = {
        {"0", "25", "2", "25"},       {"5", "19", "5", "20"},       {"9", "1001", "2", "20"},
        {"2.5", "true", "2.5", "20"}, {"4", "1000", "4", "1000"},   {"-3", "", "2", "20"},
        {"COM3", "25%", "2", "25%"},  {" 7", "20.5", " 7", "20.5"}, {"8.0001", "19.99", "2", "20"}};
    for (const auto& r : rows) {
        const SettingsValues v =
            readSettings(fileWith({{0, std::string("\"") + r.port + "\""},
                                   {1, std::string("\"") + r.sensitivity + "\""}}));
        EXPECT_EQ(v.port, r.portRead) << "port " << r.port;
        EXPECT_EQ(v.sensitivity, r.sensitivityRead) << "sensitivity " << r.sensitivity;
    }
    // Only the exact text True shows a panel; unquoted texts are read, blanks around them are not
    // part of the field.
    const struct {
        std::array<const char*, 6> visible;
        std::array<bool, 6> shown;
        std::int32_t panelUnits;
    } panels[] = {{{"\"True\"", "\"True\"", "\"True\"", "\"True\"", "\"True\"", "\"True\""},
                   {true, true, true, true, true, true},
                   28},
                  {{"\"true\"", "\"TRUE\"", "\" True\"", "\"False\"", "\"yes\"", "\"\""},
                   {false, false, false, false, false, false},
                   0},
                  {{"True", "  True  ", "False", "1", "-1", "True"},
                   {true, true, false, false, false, true},
                   20}};
    for (const auto& r : panels) {
        std::vector<std::pair<int, std::string>> values;
        for (int i = 0; i < 6; ++i)
            values.push_back({2 + i, r.visible[static_cast<std::size_t>(i)]});
        const SettingsValues v = readSettings(fileWith(values));
        for (std::size_t i = 0; i < 6; ++i)
            EXPECT_EQ(v.visible[i], r.shown[i] ? "True" : "False") << r.visible[i];
        EXPECT_EQ(v.panelUnits, r.panelUnits);
    }
}

TEST(SettingsFile, ReaderSkipsWhatCannotBeReadAndKeepsTheValueBefore) {
    SettingsValues before;
    before.formWidth = 777;
    before.formHeight = 888;
    before.formTop = 99;
    before.formLeft = 11;
    using Placement = std::array<std::int32_t, 4>; // width, height, top, left
    const Placement kept{777, 888, 99, 11};
    const struct {
        std::string text;
        const char *port, *sensitivity;
        std::int32_t panelUnits;
        Placement placement;
    } rows[] = {{"", "2", "20", 0, kept},
                {"\"Port # \"\r\n\"6\"\r\n\"Sensitivty = \"\r\n\"40\"\r\n", "6", "40", 0, kept},
                {fileWith({{8, "\"wide\""}, {10, "top"}}), "7", " 250", 20, {777, 8640, 99, 3450}},
                {kExpectedFile + "\"more\"\r\n12\r\n", "7", " 250", 20, {8445, 8640, -15, 3450}},
                {"\"Port # \"\r\n\"4\"\r\n\"Sensitivty = \"\r\n\"3", "4", "20", 0, kept},
                {std::string("\0\xff\"\x01,,\r\n\xfe", 10), "2", "20", 0, kept}};
    for (const auto& r : rows) {
        SCOPED_TRACE(r.text);
        const SettingsValues v = readSettings(r.text, before);
        EXPECT_EQ(v.port, r.port);
        EXPECT_EQ(v.sensitivity, r.sensitivity);
        EXPECT_EQ(v.panelUnits, r.panelUnits);
        EXPECT_EQ((Placement{v.formWidth, v.formHeight, v.formTop, v.formLeft}), r.placement);
    }
}

TEST(SettingsFile, FirstRunDefaultsFromTheScreenSize) {
    const struct {
        double screenWidth, screenHeight;
        std::int32_t width, height, left, top;
    } rows[] = {{15360, 11520, 8448, 8640, 3456, 1440},
                {20490, 11520, 11270, 8640, 4610, 1440},
                {15362, 11518, 8449, 8638, 3456, 1440}}; // 8638.5 and 3456.5 to the even neighbour
    for (const auto& r : rows) {
        const SettingsValues v = firstRunDefaults(r.screenWidth, r.screenHeight);
        EXPECT_EQ((std::array{v.formWidth, v.formHeight, v.formLeft, v.formTop}),
                  (std::array{r.width, r.height, r.left, r.top}))
            << r.screenWidth;
        const SettingsValues back = readSettings(writeSettings(v));
        EXPECT_EQ(writeSettings(back), writeSettings(v));
    }
}

TEST(ExtraSettings, ReconnectWaitFromItsLineOrTheDefault) {
    const struct {
        std::string text;
        int seconds;
        bool problem;
    } rows[] = {{"", 60, false},
                {"; comment\r\nOther=5\r\n", 60, false},
                {"ReconnectWaitSeconds=0\r\n", 0, false},
                {"  ReconnectWaitSeconds = 3600 ", 3600, false},
                {"ReconnectWaitSeconds=3601", 60, true},
                {"ReconnectWaitSeconds=-1", 60, true},
                {"ReconnectWaitSeconds=10s", 60, true},
                {"ReconnectWaitSeconds=", 60, true},
                {"ReconnectWaitSeconds=x\nReconnectWaitSeconds=5", 5, false}};
    for (const auto& r : rows) {
        const ReconnectWait wait = reconnectWaitOf(r.text);
        EXPECT_EQ(wait.seconds, r.seconds) << r.text;
        EXPECT_EQ(!wait.problem.empty(), r.problem) << r.text << wait.problem;
    }
    // The response threshold shares the file: sections are passed over, absurd values ignored.
    const std::pair<const char*, double> thresholds[] = {
        {"[responses]\nResponseThresholdMicrosiemens=0.1\nReconnectWaitSeconds=5", 0.1},
        {"ResponseThresholdMicrosiemens=0", 0.05},
        {"ResponseThresholdMicrosiemens=nan", 0.05},
        {"", 0.05}};
    for (const auto& [text, threshold] : thresholds)
        EXPECT_DOUBLE_EQ(responseThresholdOf(text), threshold) << text;
}
