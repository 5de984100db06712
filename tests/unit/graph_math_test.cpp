#include "display/graph_math.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <set>
#include <utility>
#include <vector>

using namespace sylvane::display;

namespace {

constexpr float kHeight = 268.0f;
constexpr float kBase2048 = 469770.5f; // resistance of ADC 2048

} // namespace

TEST(GraphScale, CentredUpTo100PercentFromZeroOhmAbove) {
    const struct {
        std::int32_t sensitivity;
        float bottom;
        float top;
        const char* labels[5];
    } rows[] = {
        {25, 587213.125f, 352327.875f, {"352k", "411k", "469k", "528k", "587k"}},
        {100, 939541.0f, 0.0f, {"0.04", "234k", "469k", "704k", "939k"}},
        {101, 944238.6875f, 0.0f, {"0.03", "236k", "472k", "708k", "944k"}},
        {1000, 5167475.5f, 0.0f, {"0", "1.29M", "2.58M", "3.87M", "5.16M"}},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.sensitivity);
        const GraphScale s = liveScale(2048, r.sensitivity, kHeight);
        EXPECT_FLOAT_EQ(s.bottomOhms, r.bottom);
        EXPECT_NEAR(s.topOhms, r.top, 0.5);
        // The bottom value lands on the bottom edge and the top value on the top edge.
        EXPECT_EQ(plotY(s.bottomOhms, s.bottomOhms, s.yScale, kHeight), 268);
        EXPECT_EQ(plotY(s.topOhms, s.bottomOhms, s.yScale, kHeight), 0);
        if (r.sensitivity <= 100) {
            // Centred: the reference sits on the middle line.
            EXPECT_EQ(plotY(kBase2048, s.bottomOhms, s.yScale, kHeight), 134);
        } else {
            EXPECT_EQ(plotY(0.0f, s.bottomOhms, s.yScale, kHeight), 0);
        }
        const auto texts = axisLabelTexts(s.bottomOhms, s.topOhms, 480, 1, true);
        for (int i = 0; i < 5; ++i) EXPECT_EQ(texts[static_cast<std::size_t>(i)], r.labels[i]) << i;
    }
}

TEST(GraphScale, PointsExactlyOnTheEdgesAreOnScale) {
    const struct {
        std::int32_t y;
        bool off;
    } rows[] = {{0, false},
                {268, false},
                {134, false},
                {-1, true},
                {269, true},
                {std::numeric_limits<std::int32_t>::max(), true},
                {std::numeric_limits<std::int32_t>::min(), true}};
    for (const auto& r : rows) EXPECT_EQ(offScale(r.y, kHeight), r.off) << r.y;
}

TEST(GraphScale, HugeOrNonFiniteValuesMapWithoutOverflow) {
    const GraphScale s = liveScale(2048, 25, kHeight);
    // An endless resistance lies far below the bottom edge.
    EXPECT_EQ(plotY(std::numeric_limits<float>::infinity(), s.bottomOhms, s.yScale, kHeight),
              std::numeric_limits<std::int32_t>::max());
    EXPECT_TRUE(offScale(plotY(1e30f, s.bottomOhms, s.yScale, kHeight), kHeight));
    // Before any scale exists every point sits on the bottom edge.
    EXPECT_EQ(plotY(123456.0f, 0.0f, 0.0f, kHeight), 268);
}

TEST(GraphWidening, RepeatedWideningFrom25ReachesTheCapOf1000) {
    const std::vector<std::int32_t> expected = {31,  39,  49,  61,  76,  95,  119, 149, 186,
                                                232, 290, 362, 452, 565, 706, 882, 1000};
    std::vector<std::int32_t> seen;
    double sensitivity = 25;
    for (int i = 0; i < 17; ++i) {
        sensitivity = widenedSensitivity(sensitivity);
        seen.push_back(static_cast<std::int32_t>(sensitivity));
    }
    EXPECT_EQ(seen, expected);
    EXPECT_EQ(widenedSensitivity(1000), 1000);
    // The caption's value is made whole before it is widened.
    EXPECT_EQ(widenedSensitivity(24.6), 31);
}

TEST(GraphRedraw, DueWhenAskedOrWhenALabelNoLongerMatches) {
    const struct {
        bool requested;
        double base;
        std::int32_t graphBase;
        double sense;
        std::int32_t graphSense;
        bool due;
    } rows[] = {
        {false, 2048, 2048, 25, 25, false},
        {true, 2048, 2048, 25, 25, true},
        {false, 0, 2048, 25, 25, true},
        {false, 2048, 2048, 31, 25, true},
        {false, 0, 0, 25, 0, true},
        {false, 0, 0, 25, 25, false},
        // Fractional captions are taken by the whole value the scale was computed for.
        {false, 2048, 2048, 25.4, 25, false},
        {false, 2048.5, 2048, 25, 25, false},
    };
    for (const auto& r : rows) {
        EXPECT_EQ(redrawDue(r.requested, r.base, r.graphBase, r.sense, r.graphSense), r.due)
            << r.requested << " " << r.base << " " << r.sense;
    }
}

TEST(GraphCompression, StepSizeAndWidthOverflowKeepTheSessionInsideTheWidth) {
    const struct {
        std::int32_t recordNumber;
        float width;
        std::int32_t perStep;
        bool overflow;
    } rows[] = {
        {1, 480, 1, true},
        {2, 480, 1, false},
        {480, 480, 2, false},
        {481, 480, 2, true},
        {482, 480, 2, false},
        {961, 480, 3, true},
        {1441, 480, 4, true},
        {0, 480, 1, false},
        // A picture of no width: no division by zero, no overflow.
        {481, 0, 1, false},
        {481, 0.4f, 1, false},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.recordNumber);
        EXPECT_EQ(readingsPerStepFor(r.recordNumber, r.width), r.perStep);
        EXPECT_EQ(widthOverflow(r.recordNumber, r.width), r.overflow);
    }
    // Live steps close every readingsPerStep readings and land on the rounded quotient.
    EXPECT_TRUE(liveStepDue(2, 2));
    EXPECT_FALSE(liveStepDue(3, 2));
    EXPECT_TRUE(liveStepDue(7, 1));
    EXPECT_EQ(liveStepX(482, 2), 241);
    EXPECT_EQ(liveStepX(483, 2), 242); // 241.5 goes to the even neighbour
    EXPECT_EQ(liveStepX(485, 2), 242); // 242.5 as well
    EXPECT_EQ(wrapX(481, 480), 1);
    EXPECT_EQ(wrapX(479, 480), 479);
    EXPECT_EQ(wrapX(5, 0), 0);
}

TEST(GraphLabels, TimeLabelsShowMinutesAndSecondsAcrossTheWidth) {
    const struct {
        float width;
        std::int32_t perStep;
        const char* labels[5];
    } rows[] = {
        {480, 1, {"00:00", "01:00", "02:00", "03:00", "04:00"}},
        {480, 2, {"00:00", "02:00", "04:00", "06:00", "08:00"}},
        {489, 1, {"00:00", "01:01", "02:02", "03:03", "04:04"}}, // 61.125 s, 122.25 s ...
        // Beyond an hour only minutes and seconds remain.
        {480, 30, {"00:00", "30:00", "00:00", "30:00", "00:00"}},
    };
    for (const auto& r : rows) {
        const auto texts = axisLabelTexts(1000, 0, r.width, r.perStep, true);
        for (int i = 0; i < 5; ++i) {
            EXPECT_EQ(texts[static_cast<std::size_t>(i + 5)], r.labels[i])
                << r.width << " x" << r.perStep << " label " << i + 5;
        }
    }
}

TEST(GraphLabels, NegativeValuesAreShownAsZeroOnlyOnTheLiveGraph) {
    const auto live = axisLabelTexts(1000, -1000, 480, 1, true);
    const auto saved = axisLabelTexts(1000, -1000, 480, 1, false);
    EXPECT_EQ(live[0], "0");
    EXPECT_EQ(saved[0], "-100");
    EXPECT_EQ(live[2], "0");
    EXPECT_EQ(live[4], "1k");
}

TEST(GraphGrid, FiveDottedLinesEachWayAboutTenUnitsApart) {
    std::set<std::pair<int, int>> dots;
    int calls = 0;
    forEachGridDot(480, 270, [&](std::int32_t x, std::int32_t y) {
        dots.insert({x, y});
        ++calls;
    });
    // 5 rows of 49 dots (nx = 48) and 5 columns of 28 dots (ny = 27).
    EXPECT_EQ(calls, 5 * 49 + 5 * 28);
    const int rowsY[] = {0, 66, 134, 202, 269}; // i*H/4 - 1: 66.5 and 201.5 round to even
    const int colsX[] = {0, 119, 239, 359, 479};
    for (int y : rowsY) {
        for (int x : {0, 10, 240, 470, 480}) EXPECT_TRUE(dots.count({x, y})) << x << "," << y;
    }
    for (int x : colsX) {
        for (int y : {0, 10, 130, 270}) EXPECT_TRUE(dots.count({x, y})) << x << "," << y;
    }
    EXPECT_FALSE(dots.count({5, 0}));
}

TEST(GraphGrid, PicturesTooSmallToDivideDrawNothing) {
    const struct {
        float w, h;
        bool tooSmall;
    } rows[] = {{9, 300, true},
                {300, 9, true},
                {0, 0, true},
                {10, 10, false},
                {480, 270, false},
                {-5, 270, true},
                {std::nanf(""), 270, true}};
    for (const auto& r : rows) {
        EXPECT_EQ(pictureTooSmall(r.w, r.h), r.tooSmall) << r.w << "x" << r.h;
        int calls = 0;
        forEachGridDot(r.w, r.h, [&](std::int32_t, std::int32_t) { ++calls; });
        EXPECT_EQ(calls == 0, r.tooSmall) << r.w << "x" << r.h;
    }
}
