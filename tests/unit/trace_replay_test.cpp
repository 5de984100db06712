#include "display/trace_replay.h"
#include "platform/number_rules.h"
#include "storage/tst_reader.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <utility>
#include <vector>

using sylvane::display::ReplayResult;
using sylvane::display::TraceStepper;
using sylvane::platform::resistanceOfAdc;
using sylvane::storage::TstReader;
namespace fs = std::filesystem;

namespace {

struct Point {
    std::int32_t step;
    float ohms;
    bool operator==(const Point&) const = default;
};

std::vector<Point> feedAll(std::int32_t perStep, const std::vector<std::int32_t>& values,
                           TraceStepper* keep = nullptr) {
    TraceStepper local(perStep);
    TraceStepper& stepper = keep ? *keep : local;
    std::vector<Point> points;
    stepper.feed(1, values, [&](std::int32_t step, float ohms) { points.push_back({step, ohms}); });
    return points;
}

class TempDir {
public:
    TempDir() {
        m_path = fs::temp_directory_path() /
                 ("sylvane_tst_" + std::to_string(std::random_device{}()) + "_" +
                  std::to_string(reinterpret_cast<std::uintptr_t>(this)));
        fs::create_directories(m_path);
    }
    ~TempDir() {
        std::error_code ec;
        fs::remove_all(m_path, ec);
    }
    fs::path file(const char* name) const { return m_path / name; }

private:
    fs::path m_path;
};

void writeBytes(const fs::path& path, const std::vector<unsigned char>& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

void appendRecords(std::FILE* f, const std::vector<std::int32_t>& values) {
    for (std::int32_t v : values) {
        const auto u = static_cast<std::uint32_t>(v);
        const unsigned char b[4] = {
            static_cast<unsigned char>(u), static_cast<unsigned char>(u >> 8),
            static_cast<unsigned char>(u >> 16), static_cast<unsigned char>(u >> 24)};
        std::fwrite(b, 1, 4, f);
    }
    std::fflush(f);
}

std::vector<std::int32_t>
readAll(TstReader& reader, std::int64_t first, std::int64_t last,
        std::vector<std::pair<std::int64_t, std::size_t>>* blocks = nullptr) {
    std::vector<std::int32_t> values;
    reader.read(first, last, [&](std::int64_t firstRecord, std::span<const std::int32_t> block) {
        if (blocks) blocks->push_back({firstRecord, block.size()});
        values.insert(values.end(), block.begin(), block.end());
    });
    return values;
}

} // namespace

TEST(TraceStepper, StepsCloseOnMultiplesAndSkipRecordsBelowOne) {
    const struct {
        const char* name;
        std::int32_t perStep;
        std::vector<std::int32_t> records;
        std::vector<Point> points;
        std::int32_t openCount;
    } rows[] = {
        {"one per step",
         1,
         {1500, 0, 1502, -3, 1499},
         {{1, resistanceOfAdc(1500)}, {3, resistanceOfAdc(1502)}, {5, resistanceOfAdc(1499)}},
         0},
        {"two per step, mean rounded to even",
         2,
         {1000, 1001, 1004, 1006, 1008},
         {{1, resistanceOfAdc(1000)}, {2, resistanceOfAdc(1005)}},
         1},
        // A skipped record does not close its step: the next multiple does, with every value
        // summed since, still divided by the step size.
        {"skipped record at a step's end",
         2,
         {1000, 0, 1002, 1004},
         {{2, resistanceOfAdc(1503)}},
         0},
        {"skipped record inside a step", 3, {1000, 0, 1002, 1004}, {{1, resistanceOfAdc(667)}}, 1},
        {"nothing but gaps", 3, {0, 0, 0, -1}, {}, 0},
        {"shorter than one step", 4, {2000, 2001}, {}, 2},
        // Too few valid records to give a mean of at least 1: an endless resistance.
        {"mean below one", 4, {0, 0, 0, 1}, {{1, std::numeric_limits<float>::infinity()}}, 0},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        TraceStepper stepper(r.perStep);
        EXPECT_EQ(feedAll(r.perStep, r.records, &stepper), r.points);
        EXPECT_EQ(stepper.openCount(), r.openCount);
        EXPECT_EQ(stepper.stepsPlotted(), static_cast<std::int64_t>(r.points.size()));
    }
}

TEST(TraceStepper, ReplayEndingMidStepCarriesResistancesNotAdcSums) {
    TraceStepper stepper(3);
    const auto points = feedAll(3, {1000, 1000, 1000, 3000, 3500}, &stepper);
    ASSERT_EQ(points.size(), 1u);
    EXPECT_EQ(stepper.openCount(), 2);
    EXPECT_FLOAT_EQ(stepper.openOhms(), resistanceOfAdc(3000) + resistanceOfAdc(3500));
}

TEST(TraceStepper, BlockBoundariesDoNotChangeTheTrace) {
    std::mt19937 rng(7);
    std::uniform_int_distribution<std::int32_t> value(-5, 4095);
    std::vector<std::int32_t> records(5000);
    for (auto& v : records) v = value(rng);
    for (std::int32_t perStep : {1, 2, 3, 7, 480, 6000}) {
        SCOPED_TRACE(perStep);
        TraceStepper whole(perStep);
        const auto expected = feedAll(perStep, records, &whole);
        TraceStepper pieces(perStep);
        std::vector<Point> got;
        std::size_t at = 0;
        std::uniform_int_distribution<std::size_t> length(0, 700);
        while (at < records.size()) {
            const std::size_t n = std::min(length(rng), records.size() - at);
            pieces.feed(static_cast<std::int64_t>(at) + 1,
                        std::span<const std::int32_t>(records.data() + at, n),
                        [&](std::int32_t step, float ohms) {
                            got.push_back({step, ohms});
                        });
            at += n;
        }
        EXPECT_EQ(got, expected);
        EXPECT_EQ(pieces.openCount(), whole.openCount());
        EXPECT_FLOAT_EQ(pieces.openOhms(), whole.openOhms());
    }
}

TEST(TstReader, RecordsAreLittleEndianAndATrailingPartialRecordIsIgnored) {
    TempDir dir;
    const fs::path path = dir.file("s.tst");
    writeBytes(path, {0xDC, 0x05, 0x00, 0x00, 0xDE, 0x05, 0x00, 0x00, 0xDB, 0x05, 0x00,
                      0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x01, 0x00, 0x12, 0x34});
    TstReader reader;
    ASSERT_TRUE(reader.open(path));
    EXPECT_EQ(reader.recordCount(), 5);
    const struct {
        std::int64_t first, last;
        std::vector<std::int32_t> values;
    } rows[] = {
        {1, 5, {1500, 1502, 1499, -1, 65536}},
        {2, 3, {1502, 1499}},
        {4, 100, {-1, 65536}},
        {0, 1, {1500}},
        {6, 9, {}},
        {3, 2, {}},
    };
    for (const auto& r : rows) {
        EXPECT_EQ(readAll(reader, r.first, r.last), r.values) << r.first << ".." << r.last;
    }
}

TEST(TstReader, LargeFilesArriveInWholeBlocksInOrder) {
    TempDir dir;
    const fs::path path = dir.file("big.tst");
    const std::int64_t count = 2 * static_cast<std::int64_t>(TstReader::kBlockRecords) + 5;
    {
        std::FILE* f = std::fopen(path.c_str(), "wb");
        std::vector<std::int32_t> values(static_cast<std::size_t>(count));
        for (std::size_t i = 0; i < values.size(); ++i)
            values[i] = static_cast<std::int32_t>(i + 1);
        appendRecords(f, values);
        std::fclose(f);
    }
    TstReader reader;
    ASSERT_TRUE(reader.open(path));
    std::vector<std::pair<std::int64_t, std::size_t>> blocks;
    const auto values = readAll(reader, 1, count, &blocks);
    ASSERT_EQ(static_cast<std::int64_t>(values.size()), count);
    for (std::size_t i = 0; i < values.size(); ++i) {
        ASSERT_EQ(values[i], static_cast<std::int32_t>(i + 1)) << i;
    }
    const std::vector<std::pair<std::int64_t, std::size_t>> expected = {
        {1, TstReader::kBlockRecords},
        {1 + static_cast<std::int64_t>(TstReader::kBlockRecords), TstReader::kBlockRecords},
        {1 + 2 * static_cast<std::int64_t>(TstReader::kBlockRecords), 5}};
    EXPECT_EQ(blocks, expected);
}

TEST(TstReader, SeesRecordsAnotherHandleKeepsAppending) {
    TempDir dir;
    const fs::path path = dir.file("tempdata.tst");
    std::FILE* writer = std::fopen(path.c_str(), "wb");
    ASSERT_NE(writer, nullptr);
    appendRecords(writer, {2000, 2001});
    TstReader reader;
    ASSERT_TRUE(reader.open(path));
    EXPECT_EQ(readAll(reader, 1, 10), (std::vector<std::int32_t>{2000, 2001}));
    appendRecords(writer, {2002});
    // Half a record on its way in is not a record yet.
    std::fputc(0x07, writer);
    std::fflush(writer);
    EXPECT_EQ(reader.recordCount(), 3);
    EXPECT_EQ(readAll(reader, 1, 10), (std::vector<std::int32_t>{2000, 2001, 2002}));
    std::fputc(0x08, writer);
    std::fputc(0x00, writer);
    std::fputc(0x00, writer);
    std::fflush(writer);
    EXPECT_EQ(readAll(reader, 3, 10), (std::vector<std::int32_t>{2002, 0x0807}));
    std::fclose(writer);
}

TEST(TstReader, AMissingFileIsReportedByName) {
    TempDir dir;
    TstReader reader;
    std::string error;
    EXPECT_FALSE(reader.open(dir.file("gone.tst"), &error));
    EXPECT_NE(error.find("gone.tst"), std::string::npos) << error;
    bool ok = true;
    EXPECT_EQ(reader.read(
                  1, 10, [](std::int64_t, std::span<const std::int32_t>) {}, &ok),
              0);
    EXPECT_FALSE(ok);

    const ReplayResult r =
        sylvane::display::replayTrace(dir.file("gone.tst"), 10, 1, [](std::int32_t, float) {});
    EXPECT_FALSE(r.readOk);
    EXPECT_EQ(r.stepsPlotted, 0);
}

TEST(TraceReplay, ReplaysOnlyTheRecordsAskedForAndReportsTheOpenStep) {
    TempDir dir;
    const fs::path path = dir.file("tempdata.tst");
    std::FILE* f = std::fopen(path.c_str(), "wb");
    appendRecords(f, {1000, 1002, 1004, 1006, 1008, 1010, 1012});
    std::fclose(f);
    std::vector<Point> points;
    const ReplayResult r =
        sylvane::display::replayTrace(path, 5, 2, [&](std::int32_t step, float ohms) {
            points.push_back({step, ohms});
        });
    EXPECT_TRUE(r.readOk);
    EXPECT_EQ(r.recordsRead, 5);
    EXPECT_EQ(points, (std::vector<Point>{{1, resistanceOfAdc(1001)}, {2, resistanceOfAdc(1005)}}));
    EXPECT_EQ(r.openCount, 1);
    EXPECT_FLOAT_EQ(r.openOhms, resistanceOfAdc(1008));
}
