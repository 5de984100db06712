#include "acquisition/frame_decoder.h"
#include "acquisition/readouts.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

using namespace sylvane::acquisition;

namespace {
constexpr auto none = std::nullopt;
} // namespace

TEST(Readouts, ResistanceConductanceAndStatusTexts) {
    const struct {
        std::int32_t smoothed;
        std::int32_t status;
        bool running;
        std::optional<std::string> resistance, conductance, adc;
        std::optional<std::uint32_t> probeColor, batteryColor;
        const char* probeTip;
        const char* batteryTip;
    } rows[] = {
        {2048, 4, true, "469kOhms", "2.12 uS", "777", kOkColor, kOkColor, "Probe OK", "Battery OK"},
        {1000, 5, true, "1.45MOhms", "0.68 uS", "777", kFaultColor, kOkColor, "Probe error",
         "Battery OK"},
        {10, 6, true, "191MOhms", "0.00 uS", "777", kOkColor, kFaultColor, "Probe OK",
         "Need to replace Battery"},
        {4094, 7, true, "114Ohms", "8.71 mS", "777", kFaultColor, kFaultColor, "Probe error",
         "Need to replace Battery"},
        // No session: resistance and conductance only.
        {2048, 7, false, "469kOhms", "2.12 uS", none, none, none, "", ""},
        // Zero resistance: the resistance label alone.
        {4095, 4, true, "0Ohms", none, none, none, none, "", ""},
        // Beyond the convertible range nothing of these changes.
        {9, 4, true, none, none, none, none, none, "", ""},
        {0, 4, true, none, none, none, none, none, "", ""},
    };
    for (const auto& r : rows) {
        ReadoutInputs in;
        in.smoothedADC = r.smoothed;
        in.rawADC = 777;
        in.probeStatus = r.status;
        in.sessionRunning = r.running;
        const Readouts out = computeReadouts(in);
        EXPECT_EQ(out.resistance, r.resistance) << r.smoothed;
        EXPECT_EQ(out.conductance, r.conductance) << r.smoothed;
        EXPECT_EQ(out.adc, r.adc) << r.smoothed;
        ASSERT_EQ(out.probe.has_value(), r.probeColor.has_value()) << r.smoothed;
        ASSERT_EQ(out.battery.has_value(), r.batteryColor.has_value()) << r.smoothed;
        if (out.probe) {
            EXPECT_EQ(out.probe->backColor, *r.probeColor) << r.smoothed;
            EXPECT_EQ(out.probe->toolTip, r.probeTip) << r.smoothed;
            EXPECT_EQ(out.battery->backColor, *r.batteryColor) << r.smoothed;
            EXPECT_EQ(out.battery->toolTip, r.batteryTip) << r.smoothed;
        }
    }
}

TEST(Readouts, ChangeOfResistanceAndTargetColourLevel) {
    const struct {
        const char* name;
        std::int32_t smoothed;
        double reference;
        std::int32_t sensitivity;
        std::optional<std::string> change;
        std::optional<float> target;
    } rows[] = {
        {"resistance fell", 2000, 2048, 25, " 4.8 %", 206.0f},
        {"resistance rose", 2100, 2048, 25, "-4.9 %", 305.0f},
        {"no change", 2048, 2048, 25, "0 %", 255.0f},
        {"below the convertible range: -100 has no point", 9, 2048, 25, "0 %", 1275.0f},
        {"no reference yet: change kept, level neutral", 2000, 0, 25, none, 255.0f},
        {"no sensitivity yet: level kept", 2000, 2048, 0, " 4.8 %", none},
        {"zero resistance ends before the change", 4095, 2048, 25, none, none},
    };
    for (const auto& r : rows) {
        ReadoutInputs in;
        in.smoothedADC = r.smoothed;
        in.reference = r.reference;
        in.graphSensitivity = r.sensitivity;
        in.sessionRunning = true;
        in.probeStatus = kReadingsValid;
        const Readouts out = computeReadouts(in);
        EXPECT_EQ(out.change, r.change) << r.name;
        EXPECT_EQ(out.targetColorLevel, r.target) << r.name;
    }
}

TEST(Readouts, ReferenceOfFullScaleLeavesChangeAndLevelAlone) {
    // A reference of 4095 is zero resistance: the change would divide by zero.
    ReadoutInputs in;
    in.smoothedADC = 2000;
    in.reference = 4095;
    in.graphSensitivity = 25;
    in.sessionRunning = true;
    in.probeStatus = kReadingsValid;
    const Readouts out = computeReadouts(in);
    EXPECT_EQ(out.resistance, "492kOhms");
    EXPECT_FALSE(out.change.has_value());
    EXPECT_FALSE(out.targetColorLevel.has_value());
}

TEST(Readouts, NumberTextsOfTheReadouts) {
    const struct {
        float ohms;
        const char* text;
    } conductances[] = {{469770.5f, "2.12 uS"}, {0.5f, "2  S"},    {500.0f, "2 mS"},
                        {114.8f, "8.71 mS"},    {1000.0f, "1 mS"}, {1.0f, "1  S"}};
    for (const auto& r : conductances) EXPECT_EQ(conductanceText(r.ohms), r.text) << r.ohms;

    const struct {
        float percent;
        const char* text;
    } changes[] = {{4.801174f, " 4.8 %"}, {-4.953589f, "-4.9 %"}, {0.0f, "0 %"},
                   {-100.0f, "0 %"},      {1.5e-5f, "0 %"},       {12345678.0f, "0 %"},
                   {0.05f, " 0.0 %"},     {99.99f, " 99.9 %"},    {-0.96f, "-0.9 %"}};
    for (const auto& r : changes) EXPECT_EQ(changeText(r.percent), r.text) << r.percent;

    const struct {
        float percent;
        std::int32_t sensitivity;
        float level;
    } levels[] = {{12.5f, 25, 127.0f}, {-12.5f, 25, 382.0f}, {50.0f, 25, -255.0f},
                  {0.0f, 25, 255.0f},  {25.0f, 25, 0.0f},    {0.1f, 1000, 254.0f}};
    for (const auto& r : levels)
        EXPECT_EQ(targetLevel(r.percent, r.sensitivity), r.level) << r.percent;
}
