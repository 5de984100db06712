#include "platform/number_rules.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace sylvane::platform;

TEST(NumberRules, RoundingDivisionTextsAndValues) {
    constexpr auto kMax = std::numeric_limits<std::int32_t>::max();
    const std::pair<double, std::int32_t> nearestRows[] = {
        {232.5, 232}, {233.5, 234}, {-2.5, -2},         {-3.5, -4},
        {0.49999, 0}, {1e12, kMax}, {-1e12, -kMax - 1}, {std::nan(""), 0}};
    for (const auto& [in, out] : nearestRows) EXPECT_EQ(nearest(in), out) << in;
    const struct {
        std::int64_t a, b;
        std::int32_t div, mod;
    } divRows[] = {{-7, 2, -3, -1}, {7, -2, -3, 1}, {481, 480, 1, 1}, {5, 0, 0, 0}};
    for (const auto& r : divRows) {
        EXPECT_EQ(intDiv(r.a, r.b), r.div) << r.a << " \\ " << r.b;
        EXPECT_EQ(vbMod(r.a, r.b), r.mod) << r.a << " Mod " << r.b;
    }
    const std::pair<float, const char*> floats[] = {{-0.0f, " 0"},
                                                    {-7.0f, "-7"},
                                                    {469.7705f, " 469.7705"},
                                                    {1.5e-05f, " 1.5E-05"},
                                                    {0.0001f, " 0.0001"},
                                                    {12345678.0f, " 1.234568E+07"},
                                                    {9999999.0f, " 9999999"},
                                                    {1e7f, " 1E+07"},
                                                    {1.0f / 3.0f, " 0.3333333"}};
    for (const auto& [in, text] : floats) EXPECT_EQ(standardText(in), text) << in;
    EXPECT_EQ(standardText(std::int32_t{31}), " 31");
    const std::pair<const char*, double> values[] = {{"True", 0},
                                                     {" 1234", 1234},
                                                     {"  -12abc", -12},
                                                     {"1.5E-05", 1.5e-05},
                                                     {".5", 0.5},
                                                     {"12 34", 12},
                                                     {"1e", 1},
                                                     {"-", 0},
                                                     {"1e999", std::numeric_limits<double>::max()}};
    for (const auto& [text, value] : values) EXPECT_DOUBLE_EQ(numericValue(text), value) << text;
}

TEST(NumberRules, FormatOhmsAndFormatTime) {
    const std::pair<float, const char*> ohms[] = {{resistanceOfAdc(2048), "469k"},
                                                  {resistanceOfAdc(1000), "1.45M"},
                                                  {resistanceOfAdc(10), "191M"},
                                                  {resistanceOfAdc(4095), "0"},
                                                  {999.0f, "999"},
                                                  {1000.0f, "1k"},
                                                  {12345.0f, "12.3k"},
                                                  {-5000.0f, "-500"}};
    for (const auto& [in, text] : ohms) EXPECT_EQ(formatOhms(in), text) << in;
    EXPECT_FLOAT_EQ(resistanceOfAdc(2048), 469770.5f);
    const std::pair<float, const char*> times[] = {{3725.4f, "01:02:05"},
                                                   {59.5f, "00:01:00"},
                                                   {2.5f, "00:00:02"},
                                                   {360000, "100:00:00"},
                                                   {-3725, "01:02:05"}};
    for (const auto& [in, text] : times) EXPECT_EQ(formatTime(in), text) << in;
}
