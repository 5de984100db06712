#include "acquisition/frame_decoder.h"
#include "acquisition/session_clock.h"

#include <gtest/gtest.h>

#include <vector>

using namespace sylvane::acquisition;

TEST(SessionClock, ElapsedTimeKeepsGrowingAcrossMidnight) {
    const struct {
        const char* name;
        float start;
        std::vector<float> ticks; // clock values seen by successive ticks
        float elapsed;            // at the last tick
    } rows[] = {
        {"within a day", 3600.0f, {3601.0f, 7325.4f}, 7325.4f - 3600.0f},
        {"a float difference within a day stays exact", 45000.3f, {45059.8f}, 45059.8f - 45000.3f},
        {"across midnight", 86000.0f, {86399.8f, 0.2f, 600.0f}, 1000.0f},
        {"across two midnights", 86000.0f, {86399.0f, 1.0f, 43200.0f, 86399.0f, 5.0f}, 86805.0f},
        {"first tick an hour after midnight", 86000.0f, {86399.0f, 3600.0f}, 4000.0f},
        {"an hour back is a clock change, not a day", 10000.0f, {20000.0f, 16400.0f}, 6400.0f},
        {"woken on the next day, earlier in the day than it slept",
         72000.0f,
         {72001.0f, 36000.0f},
         50400.0f},
    };
    for (const auto& r : rows) {
        MidnightCount count;
        startCounting(count, r.start);
        float elapsed = 0;
        for (float now : r.ticks) elapsed = elapsedSeconds(r.start, now, count);
        EXPECT_EQ(elapsed, r.elapsed) << r.name;
    }
}

TEST(SessionClock, ColourLevelStepsTowardItsTarget) {
    constexpr std::int32_t valid = kReadingsValid;
    const struct {
        const char* name;
        float level, target;
        std::int32_t status;
        bool running;
        std::vector<float> levels; // after each tick
    } rows[] = {
        {"20 above: three steps of 5, then the target",
         100,
         120,
         valid,
         true,
         {105, 110, 115, 120}},
        {"4 from 12: 7, then snaps", 12, 4, valid, true, {7, 4, 4}},
        {"falls to 0 and stays there", 3, -40, valid, true, {0, 0, 0}},
        {"follows a target above 255", 255, 300, valid, true, {260, 265, 270}},
        {"within the snap distance", 255, 250, valid, true, {250}},
        {"just outside the snap distance", 255, 249.79f, valid, true, {250, 249.79f}},
        {"probe error holds the level", 100, 200, valid | kProbeError, true, {100, 100}},
        {"readings not valid hold it", 100, 200, kBatteryLow, true, {100}},
        {"no session holds it", 100, 200, valid, false, {100}},
    };
    for (const auto& r : rows) {
        float level = r.level;
        for (std::size_t i = 0; i < r.levels.size(); ++i) {
            level = stepColorLevel(level, r.target, r.status, r.running);
            EXPECT_EQ(level, r.levels[i]) << r.name << ", tick " << i + 1;
        }
    }
}

TEST(SessionClock, ResizeWatchAsksForTheLayoutTheChangeCallsFor) {
    const struct {
        const char* name;
        double width, height;
        std::int32_t widthSet, heightSet;
        std::uint8_t reason;
    } rows[] = {
        {"unchanged", 6000, 4500, 6000, 4500, 0},
        {"wider by 600, taller by 300", 6600, 4800, 6000, 4500, kWidthDriven},
        {"taller by 600, wider by 300", 6300, 5100, 6000, 4500, kHeightDriven},
        {"equal changes are height-driven", 6300, 4800, 6000, 4500, kHeightDriven},
        {"narrower", 5400, 4500, 6000, 4500, kWidthDriven},
        {"only the height", 6000, 4485, 6000, 4500, kHeightDriven},
        // The layout asked for a size between two pixels and got the nearest one.
        {"rounded to the pixel", 6000, 4500, 6005, 4497, 0},
        {"one pixel off", 6015, 4500, 6005, 4500, kWidthDriven},
    };
    for (const auto& r : rows)
        EXPECT_EQ(resizeReason(r.width, r.height, r.widthSet, r.heightSet, 15.0), r.reason)
            << r.name;
}
