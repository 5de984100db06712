#include "dialogs/file_path_parse.h"
#include "dialogs/port_preselect.h"
#include "dialogs/slider_steps.h"
#include "tests/unit/unit_support.h"

#include <gtest/gtest.h>

#include <string>

using namespace sylvane::dialogs;

TEST(PortPreselection, TriesDownwardsThenWrapsOnceFromEight) {
    const struct {
        const char* caption;
        int usable; // bit i: COM(i+1)
        const char* finalCaption;
        int selected;
    } rows[] = {{"3", 0xFF, "3", 3},     {"3", 0x01, "1", 1},   {"3", 0x20, "6", 6},
                {"3", 0x00, "", 0},      {"12", 0x10, "5", 5},  {"-4", 0x44, "7", 7},
                {"2.5", 0x02, "2.5", 2}, {"2.5", 0x01, "1", 1}, {"abc", 0x08, "4", 4}};
    for (const auto& r : rows) {
        std::array<bool, 8> usable{};
        for (int i = 0; i < 8; ++i) usable[static_cast<std::size_t>(i)] = r.usable >> i & 1;
        const PortPreselection got = preselectPort(r.caption, usable);
        EXPECT_EQ(got.caption, r.finalCaption) << r.caption;
        EXPECT_EQ(got.selectedPort, r.selected) << r.caption;
        EXPECT_EQ(got.noPortsMessage, r.usable == 0) << r.caption;
    }
    const std::pair<const char*, const char*> cancels[] = {
        {"", "1"}, {"0", "1"}, {"12", "8"}, {"5", "5"}, {"3.2", "3.2"}};
    for (const auto& [in, out] : cancels) EXPECT_EQ(cancelPortCaption(in), out) << in;
}

TEST(SliderSteps, ModifiersChooseTheStepSizes) {
    const std::array<int, 4> rows[] = {
        // modifiers, large, small, mouse
        {0, 10, 1, 10},      {kShiftMask, 50, 5, 50},          {kCtrlMask, 100, 10, 100},
        {kAltMask, 1, 1, 1}, {kShiftMask | kAltMask, 5, 1, 5}, {kShiftMask | kCtrlMask, 10, 1, 10}};
    for (const auto& r : rows)
        EXPECT_EQ((std::array{r[0], keySteps(r[0]).largeChange, keySteps(r[0]).smallChange,
                              mouseLargeChange(r[0])}),
                  r);
}

TEST(ParseFilePath, TargetsComeFromTheNameBeforeItsFirstDotBesideEachOther) {
    using Outcome = ParsedFilePath::Outcome;
    const struct {
        const char* path;
        Outcome outcome;
        const char *folder, *base;
    } rows[] = {{"/data/abc", Outcome::Parsed, "/data/", "abc"},
                {"/data/a.b.tst", Outcome::Parsed, "/data/", "a"},
                {"/media/stick/run 1.Tst", Outcome::Parsed, "/media/stick/", "run 1"},
                {"/data/.hidden", Outcome::NoName, "/data/", ""},
                {"/data/", Outcome::NoName, "/data/", ""},
                {"data/abc", Outcome::NotAbsolute, "", ""},
                {"C:\\data\\abc", Outcome::NotAbsolute, "", ""}};
    for (const auto& r : rows) {
        const auto p = ParseFilePath(r.path);
        const std::string stem = r.outcome == Outcome::Parsed ? std::string(r.folder) + r.base : "";
        EXPECT_EQ(p.outcome, r.outcome) << r.path;
        EXPECT_EQ(p.folder + "|" + p.baseName, std::string(r.folder) + "|" + r.base) << r.path;
        EXPECT_EQ(p.tstPath + p.hdrPath + p.txtPath,
                  stem.empty() ? "" : stem + ".Tst" + stem + ".Hdr" + stem + ".Txt")
            << r.path;
    }
    const std::pair<const char*, bool> names[] = {{"tempdata", true},      {"tempdata.tst", true},
                                                  {"Tempdata", false},     {"tempdata.hdr", false},
                                                  {"tempdata.Tst", false}, {" tempdata", false},
                                                  {"run1", false}};
    for (const auto& [typed, reserved] : names) EXPECT_EQ(isReservedName(typed), reserved) << typed;
}

// A listed UPPER.TST used to be looked for as UPPER.Tst and reported "File not found".
TEST(ParseFilePath, RegressionASetIsUsedAsItIsSpeltOnDisk) {
    sylvane::unittest::TempFolder folder;
    for (const char* name : {"UP.TST", "UP.HDR", "mix.tSt", "mix.hDR", "mix.Hdr", "mix.TXT"})
        sylvane::unittest::writeFile(folder / name, "x");
    const std::array<const char*, 4> rows[] = {{"UP.TST", "UP.TST", "UP.HDR", "UP.Txt"},
                                               {"mix", "mix.tSt", "mix.Hdr", "mix.TXT"},
                                               {"up.tst", "up.Tst", "up.Hdr", "up.Txt"}};
    for (const auto& [typed, tst, hdr, txt] : rows) {
        auto p = ParseFilePath(joinFolderAndName(folder.path().string(), typed));
        useNamesOnDisk(p);
        EXPECT_EQ(p.tstPath, (folder / tst).string()) << typed;
        EXPECT_EQ(p.hdrPath, (folder / hdr).string()) << typed;
        EXPECT_EQ(p.txtPath, (folder / txt).string()) << typed;
    }
}
