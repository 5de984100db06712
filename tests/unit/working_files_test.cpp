#include "storage/working_files.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>

namespace fs = std::filesystem;
using sylvane::storage::WorkingFiles;

namespace {

class Folder {
public:
    Folder() {
        std::random_device rd;
        m_path = fs::temp_directory_path() / ("sylvane-wf-" + std::to_string(rd()));
        fs::create_directories(m_path);
    }
    ~Folder() {
        std::error_code ignored;
        fs::remove_all(m_path, ignored);
    }
    const fs::path& path() const { return m_path; }

private:
    fs::path m_path;
};

std::string bytesOf(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

} // namespace

TEST(WorkingFiles, RecordsReadingsAndHeaderByteForByte) {
    Folder folder;
    WorkingFiles files;
    ASSERT_TRUE(files.open(folder.path()));
    // Created at Start, before anything is recorded.
    EXPECT_EQ(bytesOf(folder.path() / "tempdata.hdr"), "");
    for (std::int32_t n = 1; const std::int32_t v : {1500, 1502, 1499}) {
        ASSERT_TRUE(files.record(n++, v));
    }
    // Each record is on disk as soon as record() returns.
    EXPECT_EQ(bytesOf(folder.path() / "tempdata.tst"),
              std::string("\xDC\x05\x00\x00\xDE\x05\x00\x00\xDB\x05\x00\x00", 12));
    EXPECT_EQ(bytesOf(folder.path() / "tempdata.txt"), "1500\r\n1502\r\n1499\r\n");
    EXPECT_EQ(files.readRecord(2), 1502);
    EXPECT_EQ(files.readRecord(4), std::nullopt);
    // Reading in between does not disturb where the next record goes.
    ASSERT_TRUE(files.record(4, -7));
    EXPECT_EQ(files.readRecord(4), -7);

    ASSERT_TRUE(files.writeHeaderAndClose(1499, 1502, " "));
    EXPECT_FALSE(files.isOpen());
    EXPECT_EQ(bytesOf(folder.path() / "tempdata.hdr"),
              "\"MinADC\"\r\n\" 1499\"\r\n\"MaxADC\"\r\n\" 1502\"\r\n\" \"\r\n");
    EXPECT_EQ(bytesOf(folder.path() / "tempdata.tst").size(), 16u);
    EXPECT_EQ(bytesOf(folder.path() / "tempdata.txt"), "1500\r\n1502\r\n1499\r\n-7\r\n");
}

TEST(WorkingFiles, ASecondShorterSessionLeavesNothingOfTheFirst) {
    Folder folder;
    WorkingFiles files;
    ASSERT_TRUE(files.open(folder.path()));
    for (std::int32_t n = 1; n <= 5; ++n) ASSERT_TRUE(files.record(n, 1000 + n));
    ASSERT_TRUE(files.writeHeaderAndClose(1001, 1005, "first"));
    ASSERT_TRUE(files.open(folder.path()));
    ASSERT_TRUE(files.record(1, 2000));
    ASSERT_TRUE(files.writeHeaderAndClose(4095, 0, "second"));
    EXPECT_EQ(bytesOf(folder.path() / "tempdata.tst"), std::string("\xD0\x07\x00\x00", 4));
    EXPECT_EQ(bytesOf(folder.path() / "tempdata.txt"), "2000\r\n");
    EXPECT_EQ(bytesOf(folder.path() / "tempdata.hdr"),
              "\"MinADC\"\r\n\" 4095\"\r\n\"MaxADC\"\r\n\" 0\"\r\n\"second\"\r\n");
}

TEST(WorkingFiles, RefusedWritesAreReportedAndLeaveBothFilesConsistent) {
    if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full to refuse writes";
    const struct {
        const char* full; // the file that refuses every write
        const char* named;
    } rows[] = {{"tempdata.txt", "tempdata.txt"}, {"tempdata.tst", "tempdata.tst"}};
    for (const auto& r : rows) {
        Folder folder;
        fs::create_symlink("/dev/full", folder.path() / r.full);
        WorkingFiles files;
        std::string error;
        ASSERT_TRUE(files.open(folder.path(), &error)) << error;
        EXPECT_FALSE(files.record(1, 1500, &error)) << r.full;
        EXPECT_NE(error.find(r.named), std::string::npos) << error;
        EXPECT_NE(error.find("No space left on device"), std::string::npos) << error;
        if (std::string(r.full) == "tempdata.txt") {
            // The record that made it into the .tst is taken back out.
            EXPECT_EQ(bytesOf(folder.path() / "tempdata.tst"), "") << r.full;
        }
        EXPECT_TRUE(files.writeHeaderAndClose(4095, 0, " ")) << r.full;
        EXPECT_EQ(bytesOf(folder.path() / "tempdata.hdr"),
                  "\"MinADC\"\r\n\" 4095\"\r\n\"MaxADC\"\r\n\" 0\"\r\n\" \"\r\n");
    }

    Folder folder;
    fs::create_symlink("/dev/full", folder.path() / "tempdata.hdr");
    WorkingFiles files;
    ASSERT_TRUE(files.open(folder.path()));
    ASSERT_TRUE(files.record(1, 1500));
    std::string error;
    EXPECT_FALSE(files.writeHeaderAndClose(1500, 1500, " ", &error));
    EXPECT_NE(error.find("tempdata.hdr"), std::string::npos) << error;
    EXPECT_FALSE(files.isOpen());
    EXPECT_EQ(bytesOf(folder.path() / "tempdata.txt"), "1500\r\n");
}

TEST(WorkingFiles, FilesThatCannotBeCreatedAreNamedAndNothingStaysOpen) {
    const char* blocked[] = {"tempdata.hdr", "tempdata.tst", "tempdata.txt"};
    for (const char* name : blocked) {
        Folder folder;
        fs::create_directory(folder.path() / name);
        WorkingFiles files;
        std::string error;
        EXPECT_FALSE(files.open(folder.path(), &error)) << name;
        EXPECT_FALSE(files.isOpen()) << name;
        EXPECT_NE(error.find(name), std::string::npos) << error;
        EXPECT_NE(error.find("Is a directory"), std::string::npos) << error;
        EXPECT_FALSE(files.record(1, 1500)) << name;
    }
    WorkingFiles files;
    std::string error;
    EXPECT_FALSE(files.open("/nonexistent-folder/for/sylvane", &error));
    EXPECT_NE(error.find("No such file or directory"), std::string::npos) << error;
}
