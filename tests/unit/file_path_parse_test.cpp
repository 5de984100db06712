#include "dialogs/file_path_parse.h"

#include <gtest/gtest.h>

using sylvane::dialogs::isReservedName;
using sylvane::dialogs::joinFolderAndName;
using sylvane::dialogs::ParseFilePath;
using Outcome = sylvane::dialogs::ParsedFilePath::Outcome;

TEST(ParseFilePath, BuildsTheThreeTargetsFromTheNameBeforeItsFirstDot) {
    const struct {
        const char* path;
        Outcome outcome;
        const char* folder;
        const char* base;
    } rows[] = {
        {"/data/abc", Outcome::Parsed, "/data/", "abc"},
        {"/data/abc.tst", Outcome::Parsed, "/data/", "abc"},
        {"/data/abc.Tst", Outcome::Parsed, "/data/", "abc"},
        {"/data/abc.xyz", Outcome::Parsed, "/data/", "abc"},
        {"/data/a.b.tst", Outcome::Parsed, "/data/", "a"},
        {"/data/abc.", Outcome::Parsed, "/data/", "abc"},
        {"/data/sub/run 1.tst", Outcome::Parsed, "/data/sub/", "run 1"},
        {"/abc", Outcome::Parsed, "/", "abc"},
        {"/data/.hidden", Outcome::NoName, "/data/", ""},
        {"/data/..", Outcome::NoName, "/data/", ""},
        {"/data/", Outcome::NoName, "/data/", ""},
        {"", Outcome::NotAbsolute, "", ""},
        {"abc.tst", Outcome::NotAbsolute, "", ""},
        {"data/abc", Outcome::NotAbsolute, "", ""},
        {"./abc", Outcome::NotAbsolute, "", ""},
        {"C:\\data\\abc", Outcome::NotAbsolute, "", ""},
    };
    for (const auto& r : rows) {
        const auto p = ParseFilePath(r.path);
        EXPECT_EQ(p.outcome, r.outcome) << r.path;
        EXPECT_EQ(p.folder, r.folder) << r.path;
        EXPECT_EQ(p.baseName, r.base) << r.path;
        if (r.outcome == Outcome::Parsed) {
            const std::string stem = std::string(r.folder) + r.base;
            EXPECT_EQ(p.tstPath, stem + ".Tst") << r.path;
            EXPECT_EQ(p.hdrPath, stem + ".Hdr") << r.path;
            EXPECT_EQ(p.txtPath, stem + ".Txt") << r.path;
        } else {
            EXPECT_EQ(p.tstPath, "") << r.path;
        }
    }
}

TEST(ParseFilePath, TextCopyGoesBesideTheOthersNotIntoTheCurrentFolder) {
    const auto p = ParseFilePath("/media/stick/run1.tst");
    ASSERT_TRUE(p.parsed());
    EXPECT_EQ(p.txtPath, "/media/stick/run1.Txt");
}

TEST(ReservedNames, OnlyTheWorkingNamesAsTypedAreRefused) {
    const struct {
        const char* typed;
        bool reserved;
    } rows[] = {
        {"tempdata", true},
        {"tempdata.tst", true},
        {"Tempdata", false},
        {"TEMPDATA.TST", false},
        {"tempdata.Tst", false},
        {"tempdata.hdr", false},
        {"tempdata.xyz", false},
        {" tempdata", false},
        {"tempdata ", false},
        {"run1", false},
        {"", false},
    };
    for (const auto& r : rows) EXPECT_EQ(isReservedName(r.typed), r.reserved) << r.typed;
}

TEST(ParseFilePath, FolderAndNameAreJoinedWithOneSeparator) {
    const struct {
        const char* folder;
        const char* name;
        const char* joined;
    } rows[] = {{"/data", "run1", "/data/run1"},
                {"/data/", "run1", "/data/run1"},
                {"/", "run1", "/run1"},
                {"", "run1", "run1"}};
    for (const auto& r : rows) EXPECT_EQ(joinFolderAndName(r.folder, r.name), r.joined);
}
