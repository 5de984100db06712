#include "acquisition/frame_decoder.h"
#include "acquisition/reading_filter.h"

#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

using namespace sylvane::acquisition;

namespace {

struct Step {
    std::int32_t raw;
    bool accepted;
    std::int32_t rawAfter;
    std::int32_t smoothedAfter;
    std::int32_t status = kReadingsValid;
};

struct Row {
    const char* name;
    std::array<std::int32_t, 5> window; // adcWindow(1..5) before the first step
    std::int32_t smoothed;
    std::vector<Step> steps;
    std::int32_t minAfter, maxAfter; // from 4095 and 0, as Start leaves them
};

void run(const Row& r) {
    std::array<std::int32_t, 6> window{0,           r.window[0], r.window[1],
                                       r.window[2], r.window[3], r.window[4]};
    std::int32_t smoothed = r.smoothed;
    std::int32_t minADC = 4095;
    std::int32_t maxADC = 0;
    const FilterFields fields{window, smoothed, minADC, maxADC};
    for (std::size_t i = 0; i < r.steps.size(); ++i) {
        const Step& s = r.steps[i];
        std::int32_t raw = s.raw;
        const std::string where = std::string(r.name) + ", reading " + std::to_string(i + 1);
        EXPECT_EQ(filterReading(fields, raw, s.status), s.accepted) << where;
        EXPECT_EQ(raw, s.rawAfter) << where;
        EXPECT_EQ(smoothed, s.smoothedAfter) << where;
    }
    EXPECT_EQ(minADC, r.minAfter) << r.name;
    EXPECT_EQ(maxADC, r.maxAfter) << r.name;
}

} // namespace

TEST(ReadingFilter, WorkedCases) {
    const Row rows[] = {
        {"from program start the sixth reading is the first smoothed, seeded with the second",
         {0, 0, 0, 0, 0},
         0,
         {{1000, false, 1000, 0},
          {1010, false, 1010, 0},
          {1020, false, 1020, 0},
          {1030, false, 1030, 0},
          {1040, false, 1040, 0},
          // Seeded with 1010; mean of 1010..1050.
          {1050, true, 1050, 1030}},
         1030,
         1030},
        {"a jump of more than 201 is cut to 201; 1201 itself is taken unchanged",
         {1000, 1000, 1000, 1000, 1000},
         1000,
         {{1500, true, 1201, 1040}, {1201, true, 1201, 1080}, {500, true, 879, 1056}},
         1040,
         1080},
        {"a fall of more than 201 is cut too",
         {1000, 1000, 1000, 1000, 1000},
         1000,
         {{500, true, 799, 960}},
         960,
         960},
        {"the mean of the last five",
         {100, 101, 102, 103, 104},
         102,
         {{105, true, 105, 103}},
         103,
         103},
        {"gate: valid bit clear or a raw value of 0 is ignored",
         {1000, 1000, 1000, 1000, 1000},
         1000,
         {{1500, false, 1500, 1000, 0},
          {1500, false, 1500, 1000, kProbeError | kBatteryLow},
          {0, false, 0, 1000},
          // The window did not move: the next reading still averages four 1000s.
          {1005, true, 1005, 1001}},
         1001,
         1001},
        {"a value below 80 is accepted in its own frame, then keeps the next five out",
         {100, 100, 100, 100, 100},
         100,
         {{50, true, 50, 90},
          // Rejected while 50 is in the window; these enter it unlimited.
          {3000, false, 3000, 90},
          {3000, false, 3000, 90},
          {3000, false, 3000, 90},
          {3000, false, 3000, 90},
          {3000, false, 3000, 90},
          // The mean is not re-seeded: 90 + 201.
          {3000, true, 291, 2458}},
         90,
         2458},
        {"a value above 4000 likewise",
         {3950, 3950, 3950, 3950, 3950},
         3950,
         {{4090, true, 4090, 3978}, {3950, false, 3950, 3978}},
         3978,
         3978},
        {"80 and 4000 are valid window values",
         {80, 4000, 80, 4000, 80},
         1000,
         {{1000, true, 1000, 1832}},
         1832,
         1832},
        {"79 in the window is not",
         {79, 4000, 80, 4000, 80},
         1000,
         {{1000, false, 1000, 1000}},
         4095,
         0},
    };
    for (const auto& r : rows) run(r);
}

TEST(ReadingFilter, WindowCarriesOverIntoTheNextSession) {
    // The window and the mean survive Start; only the extremes are reset.
    std::array<std::int32_t, 6> window{};
    std::int32_t smoothed = 0;
    std::int32_t minADC = 4095;
    std::int32_t maxADC = 0;
    const FilterFields fields{window, smoothed, minADC, maxADC};
    for (std::int32_t v : {2000, 2000, 2000, 2000, 2000, 2000}) {
        std::int32_t raw = v;
        filterReading(fields, raw, kReadingsValid);
    }
    ASSERT_EQ(smoothed, 2000);

    minADC = 4095;
    maxADC = 0;
    std::int32_t raw = 2100;
    // The first reading of the new session is smoothed at once against the old window.
    EXPECT_TRUE(filterReading(fields, raw, kReadingsValid));
    EXPECT_EQ(smoothed, 2020);
    EXPECT_EQ(minADC, 2020);
    EXPECT_EQ(maxADC, 2020);
}
