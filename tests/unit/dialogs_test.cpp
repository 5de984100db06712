#include "dialogs/file_path_parse.h"
#include "dialogs/port_preselect.h"
#include "dialogs/slider_steps.h"
#include "tests/unit/unit_support.h"

#include <gtest/gtest.h>

using namespace sylvane::dialogs;

TEST(PortPreselection, TriesDownwardsThenWrapsOnceFromEight) {
    // From 3 with every port, only COM6, or none: on the real window (PortDialog).
    // the caption, the ports usable (bit i: COM(i+1)); the caption then, the port selected
    const std::tuple<const char*, int, const char*, int> rows[] = {
        {"3", 0x01, "1", 1},     {"12", 0x10, "5", 5},  {"-4", 0x44, "7", 7},
        {"2.5", 0x02, "2.5", 2}, {"2.5", 0x01, "1", 1}, {"abc", 0x08, "4", 4}};
    for (const auto& [caption, mask, shown, selected] : rows) {
        std::array<bool, 8> usable{};
        for (std::size_t i = 0; i < 8; ++i) usable[i] = mask >> i & 1;
        const PortPreselection got = preselectPort(caption, usable);
        EXPECT_EQ(std::tuple(std::string(got.caption), got.selectedPort, got.noPortsMessage),
                  std::tuple(std::string(shown), selected, false))
            << caption;
    }
    const std::pair<const char*, const char*> cancels[] = {
        {"0", "1"}, {"12", "8"}, {"5", "5"}, {"3.2", "3.2"}};
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
    const std::tuple<const char*, Outcome, std::string, std::string> rows[] = {
        {"/data/abc", Outcome::Parsed, "/data/", "abc"},
        {"/data/a.b.tst", Outcome::Parsed, "/data/", "a"},
        {"/media/stick/run 1.Tst", Outcome::Parsed, "/media/stick/", "run 1"},
        {"/data/.hidden", Outcome::NoName, "/data/", ""},
        {"/data/", Outcome::NoName, "/data/", ""},
        {"data/abc", Outcome::NotAbsolute, "", ""}};
    for (const auto& [path, outcome, folder, base] : rows) {
        const auto p = ParseFilePath(path);
        const std::string stem = outcome == Outcome::Parsed ? folder + base : "";
        EXPECT_EQ(std::tuple(p.outcome, p.folder, p.baseName), std::tuple(outcome, folder, base))
            << path;
        EXPECT_EQ(p.tstPath + p.hdrPath + p.txtPath,
                  stem.empty() ? "" : stem + ".Tst" + stem + ".Hdr" + stem + ".Txt")
            << path;
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
        auto p = ParseFilePath(joinFolderAndName(folder.path.string(), typed));
        useNamesOnDisk(p);
        EXPECT_EQ(
            std::tuple(p.tstPath, p.hdrPath, p.txtPath),
            std::tuple((folder / tst).string(), (folder / hdr).string(), (folder / txt).string()))
            << typed;
    }
}
