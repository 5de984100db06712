#include "display/color_levels.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace sylvane::display;

namespace {
constexpr std::uint32_t G = kBarGreen;
constexpr std::uint32_t R = kBarRed;
} // namespace

TEST(BarGraph, LightsOneCellPerEightLevelsFromTheNeutralPoint) {
    const float inf = std::numeric_limits<float>::infinity();
    const struct {
        float level;
        int lastLit;
        std::uint32_t color;
    } rows[] = {
        {255, 0, G},  {256, 0, R},  {251, 0, G},     {250, 1, G},       {243, 2, G},
        {12, 30, G},  {0, 31, G},   {-40, 31, G},    {-inf, 31, G},     {300, 6, R},
        {510, 31, R}, {511, 31, R}, {1e30f, 31, R},  {inf, 31, R},      {255.5f, 0, G},
        {264, 1, R},  {276, 2, R},  {541.3f, 31, R}, {255.9999f, 0, G},
    };
    for (const auto& r : rows) {
        const BarGraphPaint p = barGraphOf(r.level);
        EXPECT_EQ(p.lastLit, r.lastLit) << r.level;
        EXPECT_EQ(p.color, r.color) << r.level;
    }
    // A level that is no number still paints a valid row.
    EXPECT_EQ(barGraphOf(std::nanf("")).lastLit, 0);
}

TEST(LampRow, BandsAndStepsInSinglePrecision) {
    const struct {
        float level;
        int band, step;
        std::uint32_t lit, unlit;
    } rows[] = {
        // The neutral level: after six bands 5.20406 is left, just below the step width.
        {255, 6, 0, kLampColors[7], kLampColors[6]},
        {256, 6, 1, kLampColors[7], kLampColors[6]},
        {0, 0, 0, kLampColors[1], kLampColors[0]},
        {-1000, 0, 0, kLampColors[1], kLampColors[0]},
        {300, 7, 1, kLampColors[8], kLampColors[7]},
        {510, 12, 1, kLampColors[13], kLampColors[12]},
        {255.5f, 6, 1, kLampColors[7], kLampColors[6]},
        {41.63265306f, 0, 7, kLampColors[1], kLampColors[0]},
        {100, 2, 3, kLampColors[3], kLampColors[2]},
        {243, 5, 6, kLampColors[6], kLampColors[5]},
        {541.2f, 12, 7, kLampColors[13], kLampColors[12]},
        // Past band 12 the whole row is black.
        {541.3f, 13, 0, kLampsOff, kLampsOff},
        {1e30f, 13, 0, kLampsOff, kLampsOff},
        {std::numeric_limits<float>::infinity(), 13, 0, kLampsOff, kLampsOff},
    };
    for (const auto& r : rows) {
        const LampRowPaint p = lampRowOf(r.level);
        EXPECT_EQ(p.band, r.band) << r.level;
        EXPECT_EQ(p.step, r.step) << r.level;
        EXPECT_EQ(p.lit, r.lit) << r.level;
        EXPECT_EQ(p.unlit, r.unlit) << r.level;
    }
    EXPECT_EQ(lampRowOf(std::nanf("")).step, 0);
}

TEST(LampRow, EveryLevelLightsOneToEightLampsAndWalksTheScale) {
    int previousBand = 0;
    for (float level = -10; level < 600; level += 1.0f / 64) {
        const LampRowPaint p = lampRowOf(level);
        ASSERT_GE(p.step, 0) << level;
        ASSERT_LE(p.step, kLamps - 1) << level;
        ASSERT_GE(p.band, previousBand) << level;
        previousBand = p.band;
        if (p.band <= 12) {
            // Each band's lit colour is the next band's unlit colour.
            ASSERT_EQ(p.lit, kLampColors[p.band + 1]) << level;
            ASSERT_EQ(p.unlit, kLampColors[p.band]) << level;
        }
    }
    EXPECT_EQ(previousBand, 13);
}

// Past about 2e9 subtracting a band no longer changes a float: counting bands to the end would
// never return, and the timer tick that paints the lamps with it.
TEST(LampRow, HugeLevelsDoNotHangThePainting) {
    for (float level : {3e9f, 1e20f, std::numeric_limits<float>::max()}) {
        const LampRowPaint p = lampRowOf(level);
        EXPECT_EQ(p.lit, kLampsOff) << level;
        EXPECT_EQ(p.unlit, kLampsOff) << level;
    }
}
