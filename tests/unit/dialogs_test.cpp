#include "dialogs/file_path_parse.h"
#include "dialogs/port_preselect.h"
#include "dialogs/slider_steps.h"
#include "tests/unit/unit_support.h"

#include <gtest/gtest.h>

#include <string>

using namespace sylvane::dialogs;

TEST(PortPreselection, TriesDownwardsThenWrapsOnceFromEight) {
    const auto only = [](std::initializer_list<int> ports) {
        std::array<bool, 8> usable{};
        for (int p : ports) usable[static_cast<std::size_t>(p - 1)] = true;
        return usable;
    };
    const struct {
        const char* caption;
        std::array<bool, 8> usable;
        const char* finalCaption;
        int selected;
        bool noPorts;
    } rows[] = {{"3", only({1, 2, 3, 4, 5, 6, 7, 8}), "3", 3, false},
                {"3", only({1}), "1", 1, false},
                {"3", only({6}), "6", 6, false},
                {"3", only({}), "", 0, true},
                {"12", only({5}), "5", 5, false},
                {"0", only({2}), "2", 2, false},
                {"-4", only({3, 7}), "7", 7, false},
                {"2.5", only({2}), "2.5", 2, false},
                {"2.5", only({1}), "1", 1, false},
                {"abc", only({4}), "4", 4, false}};
    for (const auto& r : rows) {
        const PortPreselection got = preselectPort(r.caption, r.usable);
        EXPECT_EQ(got.caption, r.finalCaption) << r.caption;
        EXPECT_EQ(got.selectedPort, r.selected) << r.caption;
        EXPECT_EQ(got.noPortsMessage, r.noPorts) << r.caption;
    }
    const struct {
        const char *in, *out;
    } cancels[] = {{"", "1"}, {"0", "1"}, {"12", "8"}, {"5", "5"}, {"3.2", "3.2"}};
    for (const auto& r : cancels) EXPECT_EQ(cancelPortCaption(r.in), r.out) << r.in;
}

TEST(SliderSteps, ModifiersChooseTheStepSizes) {
    const struct {
        int modifiers, large, small, mouse;
    } rows[] = {{0, 10, 1, 10},
                {kShiftMask, 50, 5, 50},
                {kCtrlMask, 100, 10, 100},
                {kAltMask, 1, 1, 1},
                {kShiftMask | kAltMask, 5, 1, 5},
                {kShiftMask | kCtrlMask, 10, 1, 10},
                {kCtrlMask | kAltMask, 10, 1, 10}};
    for (const auto& r : rows) {
        EXPECT_EQ(keySteps(r.modifiers).largeChange, r.large) << r.modifiers;
        EXPECT_EQ(keySteps(r.modifiers).smallChange, r.small) << r.modifiers;
        EXPECT_EQ(mouseLargeChange(r.modifiers), r.mouse) << r.modifiers;
    }
}

TEST(ParseFilePath, TargetsComeFromTheNameBeforeItsFirstDotBesideEachOther) {
    using Outcome = ParsedFilePath::Outcome;
    const struct {
        const char* path;
        Outcome outcome;
        const char *folder, *base;
    } rows[] = {{"/data/abc", Outcome::Parsed, "/data/", "abc"},
                {"/data/abc.tst", Outcome::Parsed, "/data/", "abc"},
                {"/data/abc.xyz", Outcome::Parsed, "/data/", "abc"},
                {"/data/a.b.tst", Outcome::Parsed, "/data/", "a"},
                {"/media/stick/run 1.Tst", Outcome::Parsed, "/media/stick/", "run 1"},
                {"/data/.hidden", Outcome::NoName, "/data/", ""},
                {"/data/", Outcome::NoName, "/data/", ""},
                {"", Outcome::NotAbsolute, "", ""},
                {"data/abc", Outcome::NotAbsolute, "", ""},
                {"C:\\data\\abc", Outcome::NotAbsolute, "", ""}};
    for (const auto& r : rows) {
        const auto p = ParseFilePath(r.path);
        EXPECT_EQ(p.outcome, r.outcome) << r.path;
        EXPECT_EQ(p.folder, r.folder) << r.path;
        EXPECT_EQ(p.baseName, r.base) << r.path;
        const std::string stem = std::string(r.folder) + r.base;
        const bool parsed = r.outcome == Outcome::Parsed;
        EXPECT_EQ(p.tstPath, parsed ? stem + ".Tst" : "") << r.path;
        EXPECT_EQ(p.hdrPath, parsed ? stem + ".Hdr" : "") << r.path;
        EXPECT_EQ(p.txtPath, parsed ? stem + ".Txt" : "") << r.path;
    }
    const struct {
        const char* typed;
        bool reserved;
    } names[] = {{"tempdata", true},      {"tempdata.tst", true},  {"Tempdata", false},
                 {"TEMPDATA.TST", false}, {"tempdata.Tst", false}, {"tempdata.hdr", false},
                 {" tempdata", false},    {"run1", false}};
    for (const auto& r : names) EXPECT_EQ(isReservedName(r.typed), r.reserved) << r.typed;
}

// A listed UPPER.TST used to be looked for as UPPER.Tst and reported "File not found".
TEST(ParseFilePath, RegressionASetIsUsedAsItIsSpeltOnDisk) {
    sylvane::unittest::TempFolder folder;
    for (const char* name : {"UP.TST", "UP.HDR", "mix.tSt", "mix.hDR", "mix.Hdr", "mix.TXT"})
        sylvane::unittest::writeFile(folder / name, "x");
    const struct {
        const char *typed, *tst, *hdr, *txt;
    } rows[] = {{"UP.TST", "UP.TST", "UP.HDR", "UP.Txt"},
                {"mix", "mix.tSt", "mix.Hdr", "mix.TXT"},
                {"up.tst", "up.Tst", "up.Hdr", "up.Txt"}};
    for (const auto& r : rows) {
        auto p = ParseFilePath(joinFolderAndName(folder.path().string(), r.typed));
        useNamesOnDisk(p);
        EXPECT_EQ(p.tstPath, (folder / r.tst).string()) << r.typed;
        EXPECT_EQ(p.hdrPath, (folder / r.hdr).string()) << r.typed;
        EXPECT_EQ(p.txtPath, (folder / r.txt).string()) << r.typed;
    }
}
