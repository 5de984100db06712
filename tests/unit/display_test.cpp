#include "display/color_levels.h"
#include "display/graph_math.h"
#include "display/layout_math.h"
#include "display/tone_generator.h"
#include "platform/number_rules.h"
#include "tests/unit/unit_support.h"

#include <gtest/gtest.h>

#include <set>

using namespace sylvane::display;
using sylvane::unittest::ohmsOf;

namespace {
constexpr float kInf = std::numeric_limits<float>::infinity();
} // namespace

TEST(BarAndLamps, ColoursOfTheWorkedLevels) {
    constexpr std::uint32_t G = kBarGreen, R = kBarRed;
    const std::tuple<float, int, std::uint32_t> bars[] = {
        {255, 0, G}, {256, 0, R},  {250, 1, G},   {0, 31, G},     {-kInf, 31, G},
        {300, 6, R}, {510, 31, R}, {kInf, 31, R}, {255.5f, 0, G}, {std::nanf(""), 0, R}};
    for (const auto& [level, lastLit, color] : bars)
        EXPECT_EQ(std::pair(barGraphOf(level).lastLit, barGraphOf(level).color),
                  std::pair(lastLit, color))
            << level;
    // band, step, then the lit and unlit colours' index in kLampColors (-1: all lamps off).
    const std::tuple<float, int, int, int> lamps[] = {
        // At 255 six bands leave 5.20406, just under the step width.
        {255, 6, 0, 7},    {256, 6, 1, 7},          {0, 0, 0, 1},        {-1000, 0, 0, 1},
        {300, 7, 1, 8},    {41.63265306f, 0, 7, 1}, {541.2f, 12, 7, 13}, {541.3f, 13, 0, -1},
        {kInf, 13, 0, -1}, {std::nanf(""), 0, 0, 1}};
    for (const auto& [level, band, step, lit] : lamps) {
        const LampRowPaint p = lampRowOf(level);
        const auto colour = [&](int i) { return lit < 0 ? kLampsOff : kLampColors.at(i); };
        EXPECT_EQ(std::tuple(p.band, p.step, p.lit, p.unlit),
                  std::tuple(band, step, colour(lit), colour(lit - 1)))
            << level;
    }
    // Past about 2e9 subtracting a band no longer changes a float: the count must still end.
    EXPECT_EQ(lampRowOf(std::numeric_limits<float>::max()).lit, kLampsOff);
}

TEST(GraphScale, CentredUpTo100FromZeroOhmAboveWidenedFrom25ToTheCapAndTheRedraw) {
    constexpr float kHeight = 268.0f;
    const std::tuple<std::int32_t, float, float, std::string> rows[] = {
        {25, 587213.125f, 352327.875f, "352k 411k 469k 528k 587k"},
        {100, 939541.0f, 0.0f, "0 234k 469k 704k 939k"},
        {101, 944238.6875f, 0.0f, "0 236k 472k 708k 944k"},
        {1000, 5167475.5f, 0.0f, "0 1.29M 2.58M 3.87M 5.16M"}};
    for (const auto& [sensitivity, bottom, top, labels] : rows) {
        SCOPED_TRACE(sensitivity);
        const GraphScale s = liveScale(2048, sensitivity, kHeight);
        EXPECT_FLOAT_EQ(s.bottomOhms, bottom);
        EXPECT_NEAR(s.topOhms, top, 0.5);
        EXPECT_EQ(plotY(s.bottomOhms, s.bottomOhms, s.yScale, kHeight), 268);
        EXPECT_EQ(plotY(s.topOhms, s.bottomOhms, s.yScale, kHeight), 0);
        EXPECT_EQ(plotY(ohmsOf(2048), s.bottomOhms, s.yScale, kHeight) == 134,
                  sensitivity <= 100); // centred on the reference
        const auto texts = axisLabelTexts(s.bottomOhms, s.topOhms, 480, 1, true);
        EXPECT_EQ(texts[0] + " " + texts[1] + " " + texts[2] + " " + texts[3] + " " + texts[4],
                  labels);
    }
    // Regression: from 100 % up the top label reads "0" for any picture, not a rounding error.
    for (std::int32_t sensitivity : {100, 101, 362, 1000})
        for (std::int32_t base = 80; base <= 4000; base += 7)
            for (float height : {151.0f, 268.0f, 269.0f, 500.0f}) {
                const GraphScale g = liveScale(base, sensitivity, height);
                ASSERT_EQ(axisLabelTexts(g.bottomOhms, g.topOhms, 480, 1, true)[0], "0")
                    << sensitivity << " " << base << " " << height;
            }
    // Points exactly on the edges are on scale; huge or endless resistances map without overflow.
    for (const std::int32_t y : {-1, 0, 268, 269, std::numeric_limits<std::int32_t>::min()})
        EXPECT_EQ(offScale(y, kHeight), y < 0 || y > 268) << y;
    const GraphScale s = liveScale(2048, 25, kHeight);
    EXPECT_EQ(plotY(kInf, s.bottomOhms, s.yScale, kHeight),
              std::numeric_limits<std::int32_t>::max());
    EXPECT_EQ(plotY(123456.0f, 0.0f, 0.0f, kHeight), 268);
    // Negative values read 0 on the live graph only.
    EXPECT_EQ(axisLabelTexts(1000, -1000, 480, 1, true)[0], "0");
    EXPECT_EQ(axisLabelTexts(1000, -1000, 480, 1, false)[0], "-100");

    std::vector<std::int32_t> seen;
    double sensitivity = 25;
    for (int i = 0; i < 17; ++i) seen.push_back(sensitivity = widenedSensitivity(sensitivity));
    EXPECT_EQ(seen, (std::vector<std::int32_t>{31, 39, 49, 61, 76, 95, 119, 149, 186, 232, 290, 362,
                                               452, 565, 706, 882, 1000}));
    EXPECT_EQ(widenedSensitivity(24.6), 31);
    // requested, reference, the graph's reference, sensitivity, the graph's one: redraw due?
    const std::tuple<bool, double, std::int32_t, double, std::int32_t, bool> redraws[] = {
        {false, 2048, 2048, 25, 25, false},  {true, 2048, 2048, 25, 25, true},
        {false, 0, 2048, 25, 25, true},      {false, 2048, 2048, 31, 25, true},
        {false, 0, 0, 25, 0, true},          {false, 2048, 2048, 25.4, 25, false},
        {false, 2048.5, 2048, 25, 25, false}};
    for (const auto& [requested, base, graphBase, sense, graphSense, due] : redraws)
        EXPECT_EQ(redrawDue(requested, base, graphBase, sense, graphSense), due)
            << requested << " " << base << " " << sense;
}

TEST(GraphCompression, WidthOverflowStepsTimeLabelsAndTheGrid) {
    const std::tuple<std::int32_t, float, std::int32_t, bool> rows[] = {
        {1, 480, 1, true},    {2, 480, 1, false},  {480, 480, 2, false}, {481, 480, 2, true},
        {482, 480, 2, false}, {961, 480, 3, true}, {481, 0, 1, false},   {481, 0.4f, 1, false}};
    for (const auto& [record, width, perStep, overflow] : rows) {
        EXPECT_EQ(readingsPerStepFor(record, width), perStep) << record;
        EXPECT_EQ(widthOverflow(record, width), overflow) << record;
    }
    EXPECT_EQ(liveStepX(482, 2), 241); // the first live step after the replay at width 480
    EXPECT_EQ(liveStepX(483, 2), 242); // 241.5 to the even neighbour
    EXPECT_EQ(wrapX(481, 480), 1);
    EXPECT_EQ(wrapX(5, 0), 0);
    const std::tuple<float, std::int32_t, const char*, const char*> times[] = {
        {480, 2, "02:00", "08:00"}, {489, 1, "01:01", "04:04"}, {480, 30, "30:00", "00:00"}};
    for (const auto& [width, perStep, second, last] : times) {
        const auto texts = axisLabelTexts(1000, 0, width, perStep, true);
        EXPECT_EQ(texts[5] + texts[6] + texts[9], std::string("00:00") + second + last) << width;
    }

    std::set<std::pair<int, int>> dots;
    int calls = 0;
    forEachGridDot(480, 270, [&](std::int32_t x, std::int32_t y) { dots.insert({x, y}), ++calls; });
    EXPECT_EQ(calls, 5 * 49 + 5 * 28); // nx = 48, ny = 27
    for (const int y : {0, 66, 134, 202, 269}) EXPECT_TRUE(dots.count({240, y})) << y;
    for (const int x : {0, 119, 239, 359, 479}) EXPECT_TRUE(dots.count({x, 130})) << x;
    EXPECT_FALSE(dots.count({5, 0}));
}

namespace {
struct FakeWindow final : LayoutWindow {
    double w = 0, h = 0, l = 0, t = 0;
    int state = kNormalWindow;
    double width() const override { return w; }
    double height() const override { return h; }
    double left() const override { return l; }
    double top() const override { return t; }
    void setWidth(double v) override { w = v; }
    void setHeight(double v) override { h = v; }
    void setLeft(double v) override { l = v; }
    void setTop(double v) override { t = v; }
    int displayState() const override { return state; }
};
} // namespace

TEST(Layout, PlacementPanelsAndFontOnA15360By11520TwipScreen) {
    const ScreenSize screen{15360, 11520};
    using Box = std::array<double, 4>; // width, height, left, top
    // reason, the placement stored, the window before, its state, panel units; the window after
    // (the user's resize snapped: main_window_e2e).
    const std::tuple<std::uint8_t, WindowPlacement, Box, int, std::int32_t, Box> rows[] = {
        {1, {15000, 9000, 100, 100}, {}, 0, 28, {11520, 8640, 1920, 1440}},
        {3, {}, {10000, 7920, 100, 100}, 0, 28, {9600, 7200, 100, 100}},
        {2, {}, {2000, 2000, 0, 0}, 0, 28, {3840, 5760, 0, 0}},
        {2, {}, {500, 400, 0, 0}, 0, 0, {3840, 360, 0, 0}},
        {2, {}, {15000, 12000, 0, 0}, 0, 28, {15360, 11880, 0, 0}},
        {2, {}, {8000, 6000, 14000, 9000}, 0, 28, {7680, 5760, 6912, 5184}},
        {2, {}, {15360, 11000, 0, 0}, kMaximizedWindow, 28, {15360, 11000, 0, 0}},
        {1, {8448, 8640, 3456, 1440}, {}, kMinimizedWindow, 28, {8448, 8640, 3456, 1440}}};
    for (const auto& [reason, stored, before, windowState, units, after] : rows) {
        FakeWindow window;
        std::tie(window.w, window.h, window.l, window.t) =
            std::tuple(before[0], before[1], before[2], before[3]);
        window.state = windowState;
        WindowLayoutState state{reason, units, stored};
        EXPECT_EQ(placeWindow(screen, state, window), windowState != kMinimizedWindow);
        EXPECT_EQ((Box{window.w, window.h, window.l, window.t}), after);
        EXPECT_EQ((std::array{state.set.width, state.set.height}),
                  (std::array{std::int32_t(after[0]), std::int32_t(after[1])}));
        EXPECT_EQ(state.layoutReason, reason == 3 ? 3 : 2);
    }
    const LayoutGrid g = layoutGrid(screen, 16);
    EXPECT_EQ((std::array{g.gridX, g.gridY, g.minWidth, g.minHeight}),
              (std::array<std::int32_t, 4>{480, 360, 3840, 3291}));

    // The panels' heights are checked on the real window (main_window_e2e).
    const Rect surface = graphSurfaceRect(4025, 10000);
    EXPECT_EQ((std::array{surface.left, surface.top, surface.width, surface.height}),
              (std::array{1000.0, 125.0, 8800.0, 3600.0}));
    const Rect label = axisLabelSize(4025, surface);
    EXPECT_DOUBLE_EQ(axisLabelPlace(0, 4025, surface, label).top, 125 - 86.4);
    EXPECT_DOUBLE_EQ(axisLabelPlace(4, 4025, surface, label).top, 125 + 3380 + 86.4);
    EXPECT_DOUBLE_EQ(axisLabelPlace(9, 4025, surface, label).left + label.width, 9800);
    EXPECT_DOUBLE_EQ(axisLabelPlace(7, 4025, surface, label).top, 4025 - 286);
    const std::tuple<double, const char*, int> fonts[] = {
        {8333, "IBMPC", 8}, {8334, "Arial", 8}, {15360, "Arial", 16}, {3840, "IBMPC", 3}};
    for (const auto& [windowWidth, name, points] : fonts) {
        const PanelFontChoice font = choosePanelFont(fontBasisOf(windowWidth));
        EXPECT_EQ(font.name + std::to_string(font.points), name + std::to_string(points));
    }
}

TEST(TraceStepper, StepsSkipsAndTheStepLeftOpen) {
    using Points = std::vector<std::pair<std::int32_t, float>>;
    const auto ohms = ohmsOf;
    // readings a step, records; the points drawn, then the step left open: its count and ohms
    const std::tuple<std::int32_t, std::vector<std::int32_t>, Points, std::int32_t, float> rows[] =
        {{1, {1500, 0, 1502, -3}, {{1, ohms(1500)}, {3, ohms(1502)}}, 0, 0}, // below 1 skipped
         {2, {1000, 1001, 1004, 1006, 1008}, {{1, ohms(1000)}, {2, ohms(1005)}}, 1, ohms(1008)},
         // A skipped record does not close its step; the sum is still divided by the step size.
         {2, {1000, 0, 1002, 1004}, {{2, ohms(1503)}}, 0, 0},
         {4, {0, 0, 0, 1}, {{1, kInf}}, 0, 0}, // a mean below one
         // A replay ending mid-step carries resistances, never ADC sums, into the live trace.
         {3, {1000, 1000, 1000, 3000, 3500}, {{1, ohms(1000)}}, 2, ohms(3000) + ohms(3500)}};
    for (const auto& [perStep, records, points, openCount, openOhms] : rows) {
        TraceStepper stepper(perStep);
        Points got;
        stepper.feed(1, records, [&](std::int32_t s, float o) { got.push_back({s, o}); });
        EXPECT_EQ(got, points) << records.size();
        EXPECT_EQ(stepper.openCount(), openCount) << records.size();
        EXPECT_FLOAT_EQ(stepper.openOhms(), openOhms) << records.size();
    }
}

TEST(TonePitch, LogarithmOfTheConductanceHeldToTheAudibleRange) {
    // conductance, reference, base Hz, octaves a doubling; the pitch (Hz)
    const std::array<double, 5> rows[] = {
        {1, 1, 440, 1, 440},      {2, 1, 440, 1, 880},           {0.5, 1, 440, 1, 220},
        {1.01, 1, 440, 1, 444.4}, {4, 2, 300, 0.5, 424.2640687}, {2e-6, 4e-6, 440, 2, 110},
        {1000, 1, 440, 1, 4000},  {1, 1000, 440, 1, 50},         {2, 1, 30, 1, 60},
        {1, 1, 10000, 1, 4000},   {1e300, 1e-300, 440, 1, 4000}, {1e-300, 1e300, 440, 1, 50}};
    for (const auto& [g, reference, baseHz, octaves, hz] : rows)
        EXPECT_NEAR(tonePitchHz(g, reference, baseHz, octaves).value_or(-1), hz, 1e-6)
            << g << " / " << reference;
    const double nan = std::nan("");
    const std::array<double, 4> silent[] = {{0, 1, 440, 1}, {1, -1, 440, 1},  {nan, 1, 440, 1},
                                            {1, 1, 0, 1},   {1, 1, 440, nan}, {1, 1, 1.0 / 0.0, 1}};
    for (const auto& [g, reference, baseHz, octaves] : silent)
        EXPECT_FALSE(tonePitchHz(g, reference, baseHz, octaves)) << g << " " << baseHz;
}

namespace {

// The upward zero crossings of x[from, to), each placed by a straight line between two samples.
std::vector<double> upCrossings(const std::vector<double>& x, std::size_t from, std::size_t to) {
    std::vector<double> at;
    for (std::size_t n = std::max<std::size_t>(from, 1); n < to; ++n)
        if (x[n - 1] < 0 && x[n] >= 0) at.push_back(double(n - 1) + x[n - 1] / (x[n - 1] - x[n]));
    return at;
}
double cents(double hz, double from) {
    return 1200 * std::log2(hz / from);
}

} // namespace

// A steady pitch is heard on the real program (tone_e2e); here the glides, the start and stop.
TEST(ToneGenerator, GlideWithoutJumpsAndSilenceAtStop) {
    // rate, block, pitch from and to, volume, 16-bit samples
    const std::tuple<int, std::size_t, double, double, double, bool> rows[] = {
        {48000, 480, 440, 880, 40, false},
        {44100, 1024, 1000, 500, 100, true},
        {48000, 256, 50, 75, 70, false},
        {48000, 480, 4000, 2000, 100, true}};
    for (const auto& [rate, block, from, to, volume, int16] : rows) {
        SCOPED_TRACE(testing::Message() << rate << " Hz, " << from << " -> " << to);
        ToneGenerator tone(rate);
        tone.setVolume(volume);
        std::vector<double> x;
        const auto render = [&](double seconds) {
            for (const auto end = x.size() + std::size_t(seconds * rate); x.size() < end;) {
                std::vector<float> f(int16 ? 0 : block);
                std::vector<std::int16_t> i(int16 ? block : 0);
                if (int16) tone.render(i);
                if (!int16) tone.render(f);
                for (std::size_t n = 0; n < block; ++n) x.push_back(int16 ? i[n] / 32767.0 : f[n]);
            }
            return x.size();
        };
        tone.play(from);
        render(1.5);

        // A step: no jump in the first period, 90 % of the interval (in cents) within the glide
        // time, a block and a period, and the new pitch holds.
        tone.play(to);
        const std::size_t step = x.size(), after = render(1.0);
        const auto c = upCrossings(x, step - rate / 20, after);
        double reached = -1;
        for (std::size_t i = 1; i < c.size() && reached < 0; ++i) {
            if (c[i] <= double(step)) continue;
            const double moved = cents(rate / (c[i] - c[i - 1]), from) / cents(to, from);
            EXPECT_TRUE(c[i - 1] > double(step) || moved < 0.25) << "no jump at the step";
            if (moved >= 0.9) reached = (c[i] - double(step)) / rate;
        }
        EXPECT_GE(reached, 0);
        EXPECT_LE(reached,
                  ToneGenerator::kGlideSeconds + double(block) / rate + 1 / std::min(from, to));
        const auto held = upCrossings(x, after - std::size_t(rate / 2), after);
        EXPECT_NEAR(cents(double(held.size() - 1) / (held.back() - held.front()) * rate, to), 0, 5);

        // Stop: the fade starts where the tone was and ends in exact zeros.
        tone.silence();
        const std::size_t stop = x.size();
        render(ToneGenerator::kFadeSeconds + 0.1);
        const auto fadeEnd = stop + std::size_t(ToneGenerator::kFadeSeconds * rate);
        EXPECT_TRUE(std::all_of(x.begin() + std::ptrdiff_t(fadeEnd + 1), x.end(),
                                [](double v) { return v == 0; }));
        EXPECT_FALSE(tone.sounding());
        EXPECT_GT(std::abs(x[stop]), 0.0);
        // Again out of silence: the bound below holds there too.
        tone.play(from);
        render(0.2);

        // No sample moves further than a sine of the highest pitch can, plus the fade's step and
        // a 16-bit rounding; the bound is near what the sine does.
        const double bound = 2 * std::numbers::pi * std::max(from, to) * ToneGenerator::kFullScale *
                                 volume / 100 / rate * 1.001 +
                             ToneGenerator::kFullScale / (ToneGenerator::kFadeSeconds * rate) +
                             (int16 ? 1.0 / 32767 : 1e-7);
        double largest = 0;
        for (std::size_t n = 1; n < x.size(); ++n)
            largest = std::max(largest, std::abs(x[n] - x[n - 1]));
        EXPECT_LE(largest, bound);
        EXPECT_GT(largest, 0.9 * bound - 0.01);
    }
}
