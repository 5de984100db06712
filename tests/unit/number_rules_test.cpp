#include "platform/number_rules.h"

#include "tests/unit/unit_support.h"

#include <gtest/gtest.h>

#include <limits>

using namespace sylvane::platform;

TEST(NumberRules, RoundingDivisionTextsValuesOhmsAndTimes) {
    constexpr auto kMax = std::numeric_limits<std::int32_t>::max();
    const std::pair<double, std::int32_t> nearestRows[] = {
        {232.5, 232}, {233.5, 234}, {-2.5, -2},         {-3.5, -4},
        {0.49999, 0}, {1e12, kMax}, {-1e12, -kMax - 1}, {std::nan(""), 0}};
    for (const auto& [in, out] : nearestRows) EXPECT_EQ(nearest(in), out) << in;
    // a, b; a \\ b, a Mod b
    const std::array<std::int32_t, 4> divRows[] = {
        {-7, 2, -3, -1}, {7, -2, -3, 1}, {481, 480, 1, 1}, {5, 0, 0, 0}};
    for (const auto& [a, b, div, mod] : divRows)
        EXPECT_EQ(std::pair(intDiv(a, b), vbMod(a, b)), std::pair(div, mod)) << a << " " << b;
    const std::pair<float, const char*> floats[] = {
        {-0.0f, " 0"},          {-7, "-7"},           {469.7705f, " 469.7705"},
        {1.5e-05f, " 1.5E-05"}, {0.0001f, " 0.0001"}, {12345678, " 1.234568E+07"},
        {9999999, " 9999999"},  {1e7f, " 1E+07"},     {1 / 3.0f, " 0.3333333"}};
    for (const auto& [in, text] : floats) EXPECT_EQ(standardText(in), text) << in;
    EXPECT_EQ(standardText(std::int32_t{31}), " 31");
    constexpr double kHuge = std::numeric_limits<double>::max();
    const std::pair<const char*, double> values[] = {
        {"True", 0},   {" 1234", 1234}, {"  -12abc", -12}, {"1.5E-05", 1.5e-05}, {".5", 0.5},
        {"12 34", 12}, {"1e", 1},       {"-", 0},          {"1e999", kHuge}};
    for (const auto& [text, value] : values) EXPECT_DOUBLE_EQ(numericValue(text), value) << text;
    using sylvane::unittest::ohmsOf;
    const std::pair<float, const char*> ohms[] = {{ohmsOf(2048), "469k"}, {ohmsOf(1000), "1.45M"},
                                                  {ohmsOf(10), "191M"},   {0, "0"},
                                                  {999, "999"},           {1000, "1k"},
                                                  {12345, "12.3k"},       {-5000, "-500"}};
    for (const auto& [in, text] : ohms) EXPECT_EQ(formatOhms(in), text) << in;
    EXPECT_EQ(resistanceOfAdc(4095), 0.0f);
    EXPECT_FLOAT_EQ(resistanceOfAdc(2048), 469770.5f);
    const std::pair<float, const char*> times[] = {{3725.4f, "01:02:05"}, {59.5f, "00:01:00"},
                                                   {2.5f, "00:00:02"},    {360000, "100:00:00"},
                                                   {-3725, "01:02:05"},   {0, "00:00:00"}};
    for (const auto& [in, text] : times) EXPECT_EQ(formatTime(in), text) << in;
}
