#include "platform/number_rules.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace sylvane::platform;

TEST(NumberRules, NearestRoundsHalvesToEven) {
    const struct {
        double in;
        std::int32_t out;
    } rows[] = {{232.5, 232},
                {233.5, 234},
                {2.5, 2},
                {3.5, 4},
                {-0.125, 0},
                {-2.5, -2},
                {-3.5, -4},
                {0.49999, 0},
                {59.5, 60},
                {1.5, 2},
                {38.75, 39},
                {48.75, 49},
                {1102.5, 1102},
                {-0.5, 0},
                {7.0, 7},
                {1e12, std::numeric_limits<std::int32_t>::max()},
                {-1e12, std::numeric_limits<std::int32_t>::min()},
                {std::nan(""), 0}};
    for (const auto& r : rows) EXPECT_EQ(nearest(r.in), r.out) << r.in;
}

TEST(NumberRules, TruncatingDivisionAndModKeepTheDividendsSign) {
    const struct {
        std::int64_t a, b;
        std::int32_t div, mod;
    } rows[] = {{7, 2, 3, 1},     {-7, 2, -3, -1}, {7, -2, -3, 1}, {481, 480, 1, 1},
                {480, 480, 1, 0}, {0, 5, 0, 0},    {5, 0, 0, 0}};
    for (const auto& r : rows) {
        EXPECT_EQ(intDiv(r.a, r.b), r.div) << r.a << " \\ " << r.b;
        EXPECT_EQ(vbMod(r.a, r.b), r.mod) << r.a << " Mod " << r.b;
    }
}

TEST(NumberRules, StandardTextOfFloats) {
    const struct {
        float in;
        const char* text;
    } rows[] = {
        {0.0f, " 0"},
        {-0.0f, " 0"},
        {1234.0f, " 1234"},
        {-7.0f, "-7"},
        {4.801174f, " 4.801174"},
        {-4.953589f, "-4.953589"},
        {469.7705f, " 469.7705"},
        {2.128699f, " 2.128699"},
        {1.5e-05f, " 1.5E-05"},
        {0.0001f, " 0.0001"},
        {0.5f, " 0.5"},
        {12345678.0f, " 1.234568E+07"},
        {9999999.0f, " 9999999"},
        {1e7f, " 1E+07"},
        {191995008.0f, " 1.91995E+08"},
        {-100.0f, "-100"},
        {100.0f, " 100"},
        {1.0f / 3.0f, " 0.3333333"},
        {2.5e-20f, " 2.5E-20"},
    };
    for (const auto& r : rows) EXPECT_EQ(standardText(r.in), r.text) << r.in;
}

TEST(NumberRules, StandardTextOfWholeNumbers) {
    EXPECT_EQ(standardText(std::int32_t{31}), " 31");
    EXPECT_EQ(standardText(std::int32_t{4095}), " 4095");
    EXPECT_EQ(standardText(std::int32_t{0}), " 0");
    EXPECT_EQ(standardText(std::int32_t{-12}), "-12");
    EXPECT_EQ(decimalText(1234), "1234");
}

TEST(NumberRules, NumericValueOfText) {
    const struct {
        const char* text;
        double value;
    } rows[] = {{"", 0},
                {" ", 0},
                {"True", 0},
                {" 1234", 1234},
                {"2.5", 2.5},
                {"  -12abc", -12},
                {"25", 25},
                {" 250", 250},
                {"1.5E-05", 1.5e-05},
                {"3.", 3},
                {".5", 0.5},
                {"-.5", -0.5},
                {"12 34", 12},
                {"1e", 1},
                {"+7", 7},
                {"1e999", std::numeric_limits<double>::max()},
                {"-", 0},
                {".", 0}};
    for (const auto& r : rows) EXPECT_DOUBLE_EQ(numericValue(r.text), r.value) << r.text;
}

TEST(NumberRules, FormatOhmsCutsToFourCharactersWithPrefix) {
    const struct {
        float ohms;
        const char* text;
    } rows[] = {{resistanceOfAdc(2048), "469k"},
                {resistanceOfAdc(1000), "1.45M"},
                {resistanceOfAdc(10), "191M"},
                {resistanceOfAdc(4095), "0"},
                {999.0f, "999"},
                {1000.0f, "1k"},
                {12345.0f, "12.3k"},
                {-5000.0f, "-500"},
                {5.5f, "5.5"}};
    for (const auto& r : rows) EXPECT_EQ(formatOhms(r.ohms), r.text) << r.ohms;
    EXPECT_FLOAT_EQ(resistanceOfAdc(2048), 469770.5f);
    EXPECT_FLOAT_EQ(resistanceOfAdc(10), 191995008.0f);
}

TEST(NumberRules, FormatTimeRoundsAndPadsEachPart) {
    const struct {
        float seconds;
        const char* text;
    } rows[] = {{0, "00:00:00"},    {3725.4f, "01:02:05"}, {59.5f, "00:01:00"},
                {2.5f, "00:00:02"}, {360000, "100:00:00"}, {-3725, "01:02:05"},
                {60, "00:01:00"},   {240, "00:04:00"}};
    for (const auto& r : rows) EXPECT_EQ(formatTime(r.seconds), r.text) << r.seconds;
}
