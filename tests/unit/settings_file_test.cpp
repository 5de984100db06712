#include "app/settings_file.h"

#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

using namespace sylvane::app;

namespace {

const std::array<const char*, 12> kKeyLines = {
    "\"Port # \"",
    "\"Sensitivty = \"",
    "\"Picture graph visibilty = \"",
    "\"Color graph visibilty = \"",
    "\"Bar graph visibilty = \"",
    "\"Internal status visibilty = \"",
    "\"Session comments visibilty = \"",
    "\"Time etc. visibilty = \"",
    "\"Form Width = \"",
    "\"Form Height = \"",
    "\"Form Top = \"",
    "\"Form Left = \"",
};

// A file whose value lines are given as they stand in the file (quotes included).
std::string fileOf(const std::vector<std::string>& valueLines) {
    std::string text;
    for (std::size_t i = 0; i < valueLines.size(); ++i) {
        text += std::string(kKeyLines[i % 12]) + "\r\n" + valueLines[i] + "\r\n";
    }
    return text;
}

std::vector<std::string> goodValues(const std::string& port, const std::string& sensitivity) {
    return {"\"" + port + "\"",
            "\"" + sensitivity + "\"",
            "\"True\"",
            "\"True\"",
            "\"True\"",
            "\"True\"",
            "\"True\"",
            "\"True\"",
            "11520",
            "8640",
            "1440",
            "3450"};
}

} // namespace

TEST(SettingsReader, ChecksPortAndSensitivityByTheirNumericValue) {
    const struct {
        const char* port;
        const char* sensitivity;
        const char* portRead;
        const char* sensitivityRead;
    } rows[] = {
        {"0", "25", "2", "25"},       {"1", "20", "1", "20"},       {"4", "1000", "4", "1000"},
        {"5", "19", "5", "20"},       {"8", "1001", "8", "20"},     {"9", "true", "2", "20"},
        {"2.5", "250", "2.5", "250"}, {"-3", "", "2", "20"},        {"COM3", "25%", "2", "25%"},
        {"", "1e3", "2", "1e3"},      {" 7", "20.5", " 7", "20.5"}, {"8.0001", "19.99", "2", "20"},
    };
    for (const auto& r : rows) {
        const SettingsValues v = readSettings(fileOf(goodValues(r.port, r.sensitivity)));
        EXPECT_EQ(v.port, r.portRead) << "port " << r.port;
        EXPECT_EQ(v.sensitivity, r.sensitivityRead) << "sensitivity " << r.sensitivity;
    }
}

// The port dialog offers COM1 to COM8; a reader that knew only 1 to 4 turned a user's COM5 to
// COM8 into COM2 at the next start.
TEST(SettingsReader, RegressionPortsFiveToEightSurviveARestart) {
    for (const char* port : {"5", "6", "7", "8"}) {
        SettingsValues written = firstRunDefaults(15360, 11520);
        written.port = port;
        EXPECT_EQ(readSettings(writeSettings(written)).port, port);
    }
}

TEST(SettingsReader, ShowsAPanelOnlyForTheExactTextTrue) {
    const struct {
        std::array<const char*, 6> visible;
        std::array<bool, 6> shown;
        std::int32_t panelUnits;
    } rows[] = {
        {{"\"True\"", "\"True\"", "\"True\"", "\"True\"", "\"True\"", "\"True\""},
         {true, true, true, true, true, true},
         28},
        {{"\"true\"", "\"TRUE\"", "\" True\"", "\"False\"", "\"yes\"", "\"\""},
         {false, false, false, false, false, false},
         0},
        {{"\"True\"", "\"False\"", "\"False\"", "\"False\"", "\"False\"", "\"True\""},
         {true, false, false, false, false, true},
         18},
        // Unquoted texts are read too; blanks around them are not part of the field.
        {{"True", "  True  ", "False", "1", "-1", "True"},
         {true, true, false, false, false, true},
         20},
    };
    for (const auto& r : rows) {
        std::vector<std::string> values = goodValues("2", "25");
        for (int i = 0; i < 6; ++i) values[2 + i] = r.visible[i];
        const SettingsValues v = readSettings(fileOf(values));
        for (int i = 0; i < 6; ++i) {
            EXPECT_EQ(isShown(v.visible[i]), r.shown[i]) << r.visible[i];
            EXPECT_EQ(v.visible[i], r.shown[i] ? "True" : "False") << r.visible[i];
        }
        EXPECT_EQ(v.panelUnits, r.panelUnits);
    }
}

TEST(SettingsReader, SkipsWhatCannotBeReadAndKeepsTheValueBefore) {
    SettingsValues before;
    before.formWidth = 777;
    before.formHeight = 888;
    before.formTop = 99;
    before.formLeft = 11;

    std::vector<std::string> textsForNumbers = goodValues("3", "50");
    textsForNumbers[8] = "\"wide\"";
    textsForNumbers[10] = "top";
    std::vector<std::string> extraLines = goodValues("3", "50");
    extraLines.insert(extraLines.end(), {"\"more\"", "12", "\"and more\""});
    const std::string fourLines = "\"Port # \"\r\n\"6\"\r\n\"Sensitivty = \"\r\n\"40\"\r\n";
    std::string otherKeys;
    for (const std::string& value : goodValues("3", "50"))
        otherKeys += "\"?\"\r\n" + value + "\r\n";
    const std::string unixLines = "\"k\"\n\"3\"\n\"k\"\n\"50\"\n";
    const std::string cutInsideAQuote = "\"Port # \"\r\n\"4\"\r\n\"Sensitivty = \"\r\n\"3";

    const struct {
        const char* name;
        std::string text;
        const char* port;
        const char* sensitivity;
        std::int32_t panelUnits;
        std::array<std::int32_t, 4> placement; // width, height, top, left
    } rows[] = {
        {"empty", "", "2", "20", 0, {777, 888, 99, 11}},
        {"blank lines only", "\r\n\r\n  \r\n", "2", "20", 0, {777, 888, 99, 11}},
        {"four lines", fourLines, "6", "40", 0, {777, 888, 99, 11}},
        {"texts where numbers belong",
         fileOf(textsForNumbers),
         "3",
         "50",
         28,
         {777, 8640, 99, 3450}},
        {"extra lines", fileOf(extraLines), "3", "50", 28, {11520, 8640, 1440, 3450}},
        {"other key texts", otherKeys, "3", "50", 28, {11520, 8640, 1440, 3450}},
        {"LF line ends", unixLines, "3", "50", 0, {777, 888, 99, 11}},
        {"cut inside a quote", cutInsideAQuote, "4", "20", 0, {777, 888, 99, 11}},
        {"binary", std::string("\0\xff\"\x01,,\r\n\xfe", 10), "2", "20", 0, {777, 888, 99, 11}},
    };
    for (const auto& r : rows) {
        const SettingsValues v = readSettings(r.text, before);
        EXPECT_EQ(v.port, r.port) << r.name;
        EXPECT_EQ(v.sensitivity, r.sensitivity) << r.name;
        EXPECT_EQ(v.panelUnits, r.panelUnits) << r.name;
        EXPECT_EQ(v.formWidth, r.placement[0]) << r.name;
        EXPECT_EQ(v.formHeight, r.placement[1]) << r.name;
        EXPECT_EQ(v.formTop, r.placement[2]) << r.name;
        EXPECT_EQ(v.formLeft, r.placement[3]) << r.name;
        if (r.panelUnits == 0) {
            for (const std::string& shown : v.visible) EXPECT_EQ(shown, "False") << r.name;
        }
    }
}

TEST(SettingsWriter, WritesTwentyFourLinesWithTheExactKeys) {
    SettingsValues v;
    v.port = "7";
    v.sensitivity = " 250";
    v.visible = {"True", "False", "True", "", "true", "True"};
    v.formWidth = 8445;
    v.formHeight = 8640;
    v.formTop = -15;
    v.formLeft = 3450;
    const std::string expected = "\"Port # \"\r\n"
                                 "\"7\"\r\n"
                                 "\"Sensitivty = \"\r\n"
                                 "\" 250\"\r\n"
                                 "\"Picture graph visibilty = \"\r\n"
                                 "\"True\"\r\n"
                                 "\"Color graph visibilty = \"\r\n"
                                 "\"False\"\r\n"
                                 "\"Bar graph visibilty = \"\r\n"
                                 "\"True\"\r\n"
                                 "\"Internal status visibilty = \"\r\n"
                                 "\"False\"\r\n"
                                 "\"Session comments visibilty = \"\r\n"
                                 "\"False\"\r\n"
                                 "\"Time etc. visibilty = \"\r\n"
                                 "\"True\"\r\n"
                                 "\"Form Width = \"\r\n"
                                 "8445\r\n"
                                 "\"Form Height = \"\r\n"
                                 "8640\r\n"
                                 "\"Form Top = \"\r\n"
                                 "-15\r\n"
                                 "\"Form Left = \"\r\n"
                                 "3450\r\n";
    EXPECT_EQ(writeSettings(v), expected);

    // Port and sensitivity go out as they stand; the next start checks them.
    v.port = "12";
    v.sensitivity = "5000";
    const SettingsValues back = readSettings(writeSettings(v));
    EXPECT_EQ(back.port, "2");
    EXPECT_EQ(back.sensitivity, "20");
    EXPECT_EQ(back.formTop, -15);
    EXPECT_EQ(back.panelUnits, 16 + 2 + 2);
}

TEST(SettingsDefaults, FirstRunWindowIsCentredFromTheScreenSize) {
    const struct {
        double screenWidth, screenHeight;
        std::int32_t width, height, left, top;
    } rows[] = {
        {15360, 11520, 8448, 8640, 3456, 1440},   // 1024 x 768 at 96 dpi
        {19200, 15360, 10560, 11520, 4320, 1920}, // 1280 x 1024
        {20490, 11520, 11270, 8640, 4610, 1440},  // 1366 x 768
        {15362, 11518, 8449, 8638, 3456, 1440},   // 8638.5 and 3456.5 go to the even neighbour
        {12000, 9000, 6600, 6750, 2700, 1125},    // 800 x 600
    };
    for (const auto& r : rows) {
        const SettingsValues v = firstRunDefaults(r.screenWidth, r.screenHeight);
        EXPECT_EQ(v.formWidth, r.width) << r.screenWidth;
        EXPECT_EQ(v.formHeight, r.height) << r.screenWidth;
        EXPECT_EQ(v.formLeft, r.left) << r.screenWidth;
        EXPECT_EQ(v.formTop, r.top) << r.screenWidth;
        EXPECT_EQ(v.port, "2");
        EXPECT_EQ(v.sensitivity, "25");
        EXPECT_EQ(v.panelUnits, 28);
        for (const std::string& shown : v.visible) EXPECT_EQ(shown, "True");
        // Written at the close of a first run, they read back unchanged.
        const SettingsValues back = readSettings(writeSettings(v));
        EXPECT_EQ(back.formWidth, r.width);
        EXPECT_EQ(back.formLeft, r.left);
        EXPECT_EQ(back.panelUnits, 28);
    }
}
