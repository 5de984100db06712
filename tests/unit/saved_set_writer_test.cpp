#include "storage/saved_set_writer.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>

namespace fs = std::filesystem;
using namespace sylvane::storage;

namespace {

struct TempFolder {
    fs::path path;
    TempFolder() {
        std::random_device rd;
        path = fs::temp_directory_path() / ("sylvane-save-" + std::to_string(rd()));
        fs::create_directories(path);
    }
    ~TempFolder() {
        std::error_code ec;
        fs::remove_all(path, ec);
    }
};

void writeFile(const fs::path& p, const std::string& bytes) {
    std::ofstream(p, std::ios::binary) << bytes;
}

std::string readFile(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

SaveTargets targetsIn(const fs::path& folder, const std::string& base) {
    return {folder / (base + ".Tst"), folder / (base + ".Txt"), folder / (base + ".Hdr")};
}

void writeWorkingSet(const fs::path& folder) {
    writeFile(folder / "tempdata.tst", std::string("\xDC\x05\0\0\xDE\x05\0\0", 8));
    writeFile(folder / "tempdata.txt", "1500\r\n1502\r\n");
    writeFile(folder / "tempdata.hdr",
              "\"MinADC\"\r\n\" 1500\"\r\n\"MaxADC\"\r\n\" 1502\"\r\n\" \"\r\n");
}

} // namespace

TEST(SavedSetWriter, ProbeTellsMissingFromPresentFromUnusable) {
    TempFolder t;
    writeFile(t.path / "run1.Tst", "abcd");
    fs::create_directories(t.path / "folder.Tst");
    writeFile(t.path / "plain", "x");
    const struct {
        fs::path path;
        TargetState state;
        const char* descriptionStart;
    } rows[] = {
        {t.path / "run1.Tst", TargetState::Exists, ""},
        {t.path / "run2.Tst", TargetState::Missing, "File not found: "},
        {t.path / "nowhere" / "run1.Tst", TargetState::Missing, "File not found: "},
        {t.path / "folder.Tst", TargetState::Unusable, "Is a directory: "},
        {t.path / "plain" / "run1.Tst", TargetState::Unusable, "Not a directory: "},
    };
    for (const auto& r : rows) {
        const TargetProbe p = probeFile(r.path);
        EXPECT_EQ(p.state, r.state) << r.path;
        if (r.state != TargetState::Exists) {
            EXPECT_EQ(p.description, r.descriptionStart + r.path.string()) << r.path;
        }
    }
}

TEST(SavedSetWriter, RecognisesTheWorkingFilesUnderAnyName) {
    TempFolder t;
    writeWorkingSet(t.path);
    const fs::path other = t.path / "elsewhere";
    fs::create_directories(other);
    fs::create_symlink(t.path / "tempdata.tst", other / "linked.Tst");
    fs::create_hard_link(t.path / "tempdata.hdr", other / "hard.Hdr");
    writeFile(other / "run1.Tst", "x");
    const struct {
        SaveTargets targets;
        bool working;
    } rows[] = {
        {targetsIn(t.path, "run1"), false},
        {{t.path / "tempdata.tst", other / "a.Txt", other / "a.Hdr"}, true},
        {{other / "a.Tst", other / "a.Txt", t.path / "tempdata.hdr"}, true},
        {{other / "a.Tst", t.path / "tempdata.txt", other / "a.Hdr"}, true},
        {{other / "linked.Tst", other / "a.Txt", other / "a.Hdr"}, true},
        {{other / "a.Tst", other / "a.Txt", other / "hard.Hdr"}, true},
        {{t.path / "." / "tempdata.tst", other / "a.Txt", other / "a.Hdr"}, true},
        // A case-sensitive file system keeps these apart from the working files.
        {targetsIn(t.path, "tempdata"), false},
        {targetsIn(other, "run1"), false},
    };
    for (const auto& r : rows) {
        EXPECT_EQ(targetsWorkingSet(r.targets, t.path), r.working) << r.targets.tst;
    }
}

TEST(SavedSetWriter, CopiesTheWorkingSetByteForByte) {
    TempFolder t;
    writeWorkingSet(t.path);
    const fs::path dest = t.path / "saved";
    fs::create_directories(dest);
    writeFile(dest / "run1.Tst", "an older, longer saved session");
    std::string error;
    ASSERT_TRUE(copyWorkingSet(t.path, targetsIn(dest, "run1"), &error)) << error;
    for (const char* ext : {"tst", "txt", "hdr"}) {
        std::string upper = ext;
        upper[0] = static_cast<char>(upper[0] - 'a' + 'A');
        EXPECT_EQ(readFile(dest / ("run1." + upper)),
                  readFile(t.path / ("tempdata." + std::string(ext))))
            << ext;
    }
    EXPECT_EQ(std::distance(fs::directory_iterator(dest), fs::directory_iterator()), 3);
}

TEST(SavedSetWriter, RegressionFailedCopyLeavesTheOlderSavedFileIntact) {
    TempFolder t;
    writeWorkingSet(t.path);
    fs::remove(t.path / "tempdata.txt");
    writeFile(t.path / "run1.Txt", "older text copy");
    std::string error;
    EXPECT_FALSE(copyWorkingSet(t.path, targetsIn(t.path, "run1"), &error));
    EXPECT_NE(error.find((t.path / "run1.Txt").string()), std::string::npos) << error;
    EXPECT_EQ(readFile(t.path / "run1.Txt"), "older text copy");
    EXPECT_FALSE(fs::exists(t.path / "run1.Txt.saving"));
    EXPECT_FALSE(fs::exists(t.path / "run1.Hdr")) << "copying stops at the first failure";
}

TEST(SavedSetWriter, CopyIntoAMissingFolderFailsWithAMessage) {
    TempFolder t;
    writeWorkingSet(t.path);
    std::string error;
    EXPECT_FALSE(copyWorkingSet(t.path, targetsIn(t.path / "gone", "run1"), &error));
    EXPECT_NE(error.find("gone/run1.Tst"), std::string::npos) << error;
}

TEST(SavedSetWriter, HeaderRefreshKeepsTheRangeAndTakesTheCurrentComments) {
    const std::string stopped =
        "\"MinADC\"\r\n\" 1500\"\r\n\"MaxADC\"\r\n\" 1502\"\r\n\"at stop\"\r\n";
    const std::string readings("\xDC\x05\0\0\0\0\0\0\xDB\x05\0\0\xE0\x05\0\0", 16);
    const struct {
        const char* what;
        std::string header; // "<none>" = no header file
        std::string tst;    // "<none>" = no readings file
        std::string comments;
        bool ok;
        std::string expected;
    } rows[] = {
        {"complete", stopped, readings, "typed later", true,
         "\"MinADC\"\r\n\" 1500\"\r\n\"MaxADC\"\r\n\" 1502\"\r\n\"typed later\"\r\n"},
        {"items kept as they stand", "\"Lo\"\r\n\"1500.5\"\r\n\"Hi\"\r\n\"abc\"\r\n\"x\"\r\n",
         readings, " ", true, "\"Lo\"\r\n\"1500.5\"\r\n\"Hi\"\r\n\"abc\"\r\n\" \"\r\n"},
        {"quote and line break", stopped, readings, "say \"hi\"\r\nagain", true,
         "\"MinADC\"\r\n\" 1500\"\r\n\"MaxADC\"\r\n\" 1502\"\r\n\"\\=say "
         "\\qhi\\q\\r\\nagain\"\r\n"},
        {"four items", stopped.substr(0, 38), readings, "c", true,
         "\"MinADC\"\r\n\" 1500\"\r\n\"MaxADC\"\r\n\" 1502\"\r\n\"c\"\r\n"},
        // Records below 1 are no readings: 1499..1504 from 1500, 0, 1499, 1504.
        {"missing header", "<none>", readings, "c", true,
         "\"MinADC\"\r\n\" 1499\"\r\n\"MaxADC\"\r\n\" 1504\"\r\n\"c\"\r\n"},
        {"empty header", "", readings, "c", true,
         "\"MinADC\"\r\n\" 1499\"\r\n\"MaxADC\"\r\n\" 1504\"\r\n\"c\"\r\n"},
        {"no readings either", "<none>", "<none>", "c", false, ""},
    };
    for (const auto& r : rows) {
        TempFolder t;
        if (r.header != "<none>") writeFile(t.path / "tempdata.hdr", r.header);
        if (r.tst != "<none>") writeFile(t.path / "tempdata.tst", r.tst);
        std::string error;
        EXPECT_EQ(refreshWorkingHeader(t.path, r.comments, &error), r.ok) << r.what << error;
        if (r.ok) {
            EXPECT_EQ(readFile(t.path / "tempdata.hdr"), r.expected) << r.what;
        } else {
            EXPECT_NE(error.find("tempdata.hdr"), std::string::npos) << error;
        }
        EXPECT_FALSE(fs::exists(t.path / "tempdata.hdr.new")) << r.what;
    }
}
