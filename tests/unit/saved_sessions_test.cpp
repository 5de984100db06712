#include "storage/saved_sessions.h"

#include "platform/number_rules.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace sylvane::storage;
using sylvane::platform::resistanceOfAdc;

TEST(CommonScale, HoldsTheRangeWithAFivePercentMargin) {
    const struct {
        std::int32_t minADC, maxADC;
        double bottomAdc, topAdc; // ADC values at the edges
    } rows[] = {
        {1000, 2000, 950, 2050},
        {1500, 1600, 1495, 1605},
        {200, 400, 190, 410},
    };
    for (const auto& r : rows) {
        const CommonScale s = commonScale(r.minADC, r.maxADC, 4, 480, 300);
        EXPECT_FLOAT_EQ(s.bottomOhms, resistanceOfAdc(r.bottomAdc)) << r.minADC;
        EXPECT_FLOAT_EQ(s.topOhms, resistanceOfAdc(r.topAdc)) << r.minADC;
        EXPECT_FLOAT_EQ(s.yScale, static_cast<float>(300.0 / (double(s.bottomOhms) - s.topOhms)));
    }
}

TEST(CommonScale, EqualMinAndMaxGetAFourPercentSpan) {
    const struct { std::int32_t adc; } rows[] = {{1500}, {1}, {2048}, {4000}};
    for (const auto& r : rows) {
        const float ohms = resistanceOfAdc(r.adc);
        const CommonScale s = commonScale(r.adc, r.adc, 400, 480, 240);
        EXPECT_FLOAT_EQ(s.bottomOhms, ohms * 1.02f) << r.adc;
        EXPECT_FLOAT_EQ(s.topOhms, ohms * 0.98f) << r.adc;
        EXPECT_GT(s.yScale, 0) << r.adc;
    }
}

TEST(CommonScale, SmallSpanIsWidenedButAWideOneIsKept) {
    // 1500..1510 spans well under 2 % of its resistance; 1000..2000 well over.
    const CommonScale narrow = commonScale(1500, 1510, 4, 480, 240);
    const float top = resistanceOfAdc(1510 + 0.5);
    EXPECT_FLOAT_EQ(narrow.topOhms, top * 0.98f);
    EXPECT_FLOAT_EQ(narrow.bottomOhms, top * 1.02f);
    const CommonScale wide = commonScale(1000, 2000, 4, 480, 240);
    EXPECT_FLOAT_EQ(wide.bottomOhms, resistanceOfAdc(950));
}

// A range reaching the top of the ADC scale puts the top edge below 0 Ohm; the flat-set rule
// used to flip such a scale upside down and push every trace off the picture.
TEST(CommonScale, RegressionTopBelowZeroOhmKeepsTheScaleUpright) {
    const struct {
        std::int32_t minADC, maxADC;
    } rows[] = {{2000, 4095}, {4095, 4095}, {4000, 4095}, {3900, 4095}};
    for (const auto& r : rows) {
        const CommonScale s = commonScale(r.minADC, r.maxADC, 4, 480, 240);
        EXPECT_GT(s.bottomOhms, s.topOhms) << r.minADC << ".." << r.maxADC;
        EXPECT_GT(s.yScale, 0) << r.minADC << ".." << r.maxADC;
        EXPECT_TRUE(std::isfinite(s.yScale)) << r.minADC << ".." << r.maxADC;
        // Every recorded reading lands on the picture.
        for (const std::int32_t adc : {r.minADC, r.maxADC}) {
            const double y = 240 - (double(s.bottomOhms) - resistanceOfAdc(adc)) * s.yScale;
            EXPECT_GE(y, 0) << adc;
            EXPECT_LE(y, 240) << adc;
        }
    }
}

TEST(CommonScale, BottomMustStayAboveZeroAdc) {
    const struct {
        std::int32_t minADC, maxADC;
        bool defined;
    } rows[] = {
        {1500, 1500, true}, {1, 1, true},      {0, 0, false},     {0, 2000, false},
        {-5, 100, false},   {10, 4000, false}, {200, 4095, true}, {195, 4095, false},
        {196, 4095, true},  {4095, 0, true},   {1, 21, false},    {1, 20, true},
    };
    for (const auto& r : rows) {
        EXPECT_EQ(commonScaleDefined(r.minADC, r.maxADC), r.defined)
            << r.minADC << ".." << r.maxADC;
    }
}

TEST(CommonScale, LongestSessionJustFitsTheWidth) {
    const struct {
        std::int64_t longestBytes;
        float width;
        std::int32_t perStep;
    } rows[] = {
        {4000, 480, 3}, // 1000 records on a 480-wide picture
        {1000, 480, 1},
        {0, 480, 1},
        {7676, 480, 4},
        {7680, 480, 5},
        {4000, 0, 1},
        {4'000'000, 480, 2084},
        {4'000'000'000'000, 1, 2147483647},
    };
    for (const auto& r : rows) {
        EXPECT_EQ(commonScale(1000, 2000, r.longestBytes, r.width, 240).readingsPerStep, r.perStep)
            << r.longestBytes << " / " << r.width;
    }
}

TEST(SavedSessionName, IsTheHeaderFileNameLessItsExtension) {
    const struct {
        const char* path;
        const char* name;
    } rows[] = {
        {"/data/run1.Hdr", "run1"}, {"/run 2.Hdr", "run 2"}, {"x.Hdr", "x"}, {"/a/.Hdr", ""}};
    for (const auto& r : rows) EXPECT_EQ(savedSessionName(r.path), r.name) << r.path;
}
