// The skin conductance responses, the tonic level and the responses to each marker, over
// synthetic sessions whose responses and tonic level are known.

#include "analysis/marker_responses.h"
#include "analysis/response_detector.h"
#include "analysis/tonic_level.h"
#include "probe_signal.h"
#include "tests/unit/unit_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

using namespace sylvane;
using analysis::Response;
using analysis::ResponseDetector;
using unittest::halfCosine;

namespace {

// A skin response as the field models it, a difference of two exponentials (time constants up
// and down), its peak `amplitude` above its onset.
struct Scr {
    double onset, amplitude, up, down;
    double at(double t) const {
        if (t <= onset) return 0;
        const double peak = std::log(down / up) * up * down / (down - up);
        const double top = std::exp(-peak / down) - std::exp(-peak / up);
        return amplitude * (std::exp(-(t - onset) / down) - std::exp(-(t - onset) / up)) / top;
    }
};

// A slowly drifting tonic level (at most about 0.0005 uS a second).
double drift(double t) {
    return 2 + 0.0001 * t + 0.04 * std::sin(2 * std::numbers::pi * t / 900) +
           0.005 * std::sin(2 * std::numbers::pi * t / 200 + 1);
}

} // namespace

TEST(ResponseDetector, CountsRisesOfTheThresholdWithinOneToFiveSeconds) {
    using G = std::function<double(double)>; // uS at t s
    // readings a second, threshold; the conductance; responses found, and half recovered
    const std::tuple<double, double, G, int, int> rows[] = {
        {53, 0.05, [](double t) { return 2 + halfCosine(t, 10, 0.1); }, 1, 1},
        {2, 0.05, [](double t) { return 2 + halfCosine(t, 10, 0.1); }, 1, 1},
        {2, 0.05, [](double t) { return 2 + halfCosine(t, 10, 0.2) + halfCosine(t, 40, 0.06); }, 2,
         2},
        // The second before the first is half way back.
        {2, 0.05, [](double t) { return 2 + halfCosine(t, 10, 0.2) + halfCosine(t, 14, 0.2); }, 2,
         1},
        {53, 0.05, [](double t) { return 2 + halfCosine(t, 10, 0.04); }, 0, 0}, // below
        // A rise of exactly a lower threshold.
        {2, 0.03125,
         [](double t) {
             return 2 + std::clamp(t - 10, 0.0, 2.0) / 64 - std::max(t - 12, 0.0) / 100;
         },
         1, 1},
        {53, 0.05, [](double t) { return t < 10 ? 2.0 : 2.2; }, 0, 0}, // a jump: the probe moved
        {53, 0.05, [](double t) { return 2 + std::clamp((t - 10) / 200, 0.0, 0.1); }, 0, 0}, // 20 s
        // The contact settling from the first reading.
        {53, 0.05, [](double t) { return 2 - 0.3 * std::exp(-t / 0.4); }, 0, 0},
        // Still rising, and at its peak, when the session ends.
        {2, 0.05, [](double t) { return 2 + halfCosine(t, 55, 0.3, 3); }, 1, 0},
        {2, 0.05,
         [](double t) { return 2 + halfCosine(t, 55, 0.3, 3) + 0.001 * std::max(t - 58, 0.0); }, 1,
         0}};
    for (std::size_t k = 0; k < std::size(rows); ++k) {
        const auto& [rate, threshold, g, count, halfRecovered] = rows[k];
        ResponseDetector detector(threshold);
        for (int i = 0; i < static_cast<int>(60 * rate); ++i)
            detector.add(i + 1, i / rate, g(i / rate));
        detector.finish();
        int halves = 0;
        for (const Response& x : detector.responses()) halves += x.halfRecoverySeconds.has_value();
        EXPECT_EQ(std::pair(detector.count(), halves), std::pair(count, halfRecovered))
            << "row " << k;
    }

    // Ten minutes of the simulated probe (whole ADC counts): every onset is near one of its
    // responses, and every one not on top of another (15 s before, 8 s after) is found.
    const auto within = [](const std::vector<double>& xs, double lo, double hi) {
        return std::ranges::count_if(xs, [&](double x) { return x > lo && x < hi; });
    };
    for (const auto& [rate, seed] :
         {std::pair{2.0, 1u}, {2.0, 2u}, {2.0, 3u}, {2.0, 4u}, {53.0, 1u}, {53.0, 2u}}) {
        SCOPED_TRACE(::testing::Message() << rate << " readings a second, seed " << seed);
        probesim::SkinSignal signal(seed, rate);
        ResponseDetector detector;
        std::vector<double> starts, onsets;
        for (int i = 0; i < static_cast<int>(600 * rate); ++i) {
            const int adc = signal.next();
            if (signal.responseCount() > std::ssize(starts)) starts.push_back(i / rate);
            detector.add(i + 1, i / rate, *analysis::conductanceOfAdc(adc));
        }
        detector.finish();
        for (const auto& r : detector.responses()) onsets.push_back(r.onsetSeconds);
        for (const double o : onsets) EXPECT_GE(within(starts, o - 3, o + 1.5), 1) << o << " s";
        int alone = 0;
        for (const double s : starts) {
            if (s > 590 || within(starts, s - 15, s + 8) > 1) continue;
            ++alone;
            EXPECT_EQ(within(onsets, s - 1.5, s + 3), 1) << "the response at " << s << " s";
        }
        EXPECT_GE(alone, 5);
    }
}

TEST(ResponseDetector, MeasuresEachResponseOnADriftingNoisyTonicLevel) {
    // Ten minutes on a drifting level with the probe's own noise (about 0.0003 uS), a response
    // every 40 s from 20 s, its onset between readings. The expected measures are the noiseless
    // signal's, sought on a millisecond grid; drift and noise alone give no response.
    // readings a second, the responses' amplitude (0: none), the threshold
    const std::array<double, 3> rows[] = {
        {2, 0.02, 0.01},  {2, 0.05, 0.02},  {2, 0.1, 0.05},  {2, 0.5, 0.05},  {2, 0, 0.01},
        {10, 0.02, 0.01}, {10, 0.05, 0.02}, {10, 0.1, 0.05}, {10, 0.5, 0.05}, {10, 0, 0.01},
    };
    const double shapes[4][2] = {{0.5, 2.5}, {0.75, 3.5}, {1, 4}, {1.5, 5}};
    for (const auto& [rate, amplitude, threshold] : rows) {
        SCOPED_TRACE(::testing::Message() << rate << " readings a second, responses of "
                                          << amplitude << " uS, threshold " << threshold);
        std::vector<Scr> scrs;
        for (int k = 0; amplitude > 0 && k < 14; ++k)
            scrs.push_back(
                {20 + 40 * k + 0.137 * k, amplitude, shapes[k % 4][0], shapes[k % 4][1]});
        const auto signal = [&](double t) {
            double sum = drift(t);
            for (const Scr& s : scrs) sum += s.at(t);
            return sum;
        };
        probesim::Random noise(7);
        ResponseDetector detector(threshold);
        std::vector<float> readings;
        const int n = static_cast<int>(600 * rate);
        for (int i = 0; i < n; ++i) {
            const double g = signal(i / rate) + 0.0003 * noise.normal();
            readings.push_back(static_cast<float>(g));
            detector.add(i + 1, i / rate, g);
        }
        detector.finish();
        analysis::TonicLevel tonic(detector.responses());
        for (int i = 0; i < n; ++i) tonic.add(i + 1, i / rate, readings[std::size_t(i)]);
        tonic.finish();

        const auto& found = detector.responses();
        ASSERT_EQ(found.size(), scrs.size());
        const double reading = 1 / rate + 1e-9;
        for (std::size_t k = 0; k < scrs.size(); ++k) {
            SCOPED_TRACE(::testing::Message() << "the response at " << scrs[k].onset << " s");
            const double t0 = scrs[k].onset;
            double peakAt = t0;
            for (double t = t0; t < t0 + 6; t += 0.001)
                if (signal(t) > signal(peakAt)) peakAt = t;
            const double rise = signal(peakAt) - signal(t0);
            double halfAt = peakAt;
            while (signal(halfAt) > signal(peakAt) - rise / 2) halfAt += 0.001;
            const Response& r = found[k];
            EXPECT_NEAR(r.onsetSeconds, t0, reading);
            EXPECT_NEAR(r.amplitude(), rise, 0.1 * rise);
            EXPECT_NEAR(r.riseSeconds(), peakAt - t0, reading);
            ASSERT_TRUE(r.halfRecoverySeconds);
            EXPECT_NEAR(*r.halfRecoverySeconds, halfAt - peakAt, 1.0);
        }

        // The tonic level: the drift's wherever its 20 s window is whole.
        const std::vector<float>& levels = tonic.levels();
        ASSERT_EQ(levels.size(), readings.size());
        for (int i = static_cast<int>(10 * rate); i <= 590 * rate; ++i)
            ASSERT_NEAR(levels[std::size_t(i)], drift(i / rate), 0.002 + 0.02 * amplitude)
                << "at " << i / rate << " s";
    }
}

TEST(TonicLevel, LeavesOutResponsesFromTroughToTroughOrOverlappingAsOne) {
    // At 2 readings a second on 2 uS: a response of 0.3 uS at 20 s (peak at 21.5 s, half
    // recovered 3.2 s later), and a second one. After the first came half way back, the second
    // rises from its tail (2.033 uS at 30 s): lines run onset to trough to its end, the median
    // about the trough between them. Before that (23 s) one line runs from the first onset under
    // both, at most a hundredth above 2 uS. One still at its peak at the end keeps its onset's.
    // the second's onset (0: none), the session's end, where the level is read (s); its bounds
    const std::array<double, 5> rows[] = {{30, 120, 30, 2.015, 2.035},  // after half way back
                                          {23, 120, 23, 1.998, 2.012},  // before
                                          {0, 22, 21.5, 1.999, 2.001}}; // at its peak at the end
    for (const auto& [second, end, at, lo, hi] : rows) {
        std::vector<Scr> scrs{{20, 0.3, 0.75, 3.5}};
        if (second > 0) scrs.push_back({second, 0.3, 0.75, 3.5});
        ResponseDetector detector;
        std::vector<double> g;
        for (int i = 0; i < static_cast<int>(2 * end); ++i) {
            double sum = 2;
            for (const Scr& scr : scrs) sum += scr.at(i / 2.0);
            g.push_back(sum);
            detector.add(i + 1, i / 2.0, sum);
        }
        detector.finish();
        ASSERT_EQ(detector.count(), static_cast<int>(scrs.size())) << at;
        analysis::TonicLevel tonic(detector.responses());
        for (std::size_t i = 0; i < g.size(); ++i)
            tonic.add(static_cast<std::int64_t>(i) + 1, static_cast<double>(i) / 2,
                      static_cast<float>(g[i]));
        tonic.finish();
        const float level = tonic.levels()[static_cast<std::size_t>(2 * at)];
        EXPECT_TRUE(level >= lo && level <= hi) << at << ": " << level;
    }
}

TEST(MarkerResponses, CountsTheOnsetsInEachMarkersWindow) {
    std::vector<Response> responses;
    for (const double onset : {3.0, 12.5, 14.0, 40.25})
        responses.push_back({0, onset, 2, onset + 2, 2.1, {}});
    // the markers' times, the window; the responses counted for each, the first (-1: none)
    const std::tuple<std::vector<double>, analysis::ResponseWindow, std::vector<int>,
                     std::vector<int>>
        rows[] = {// 1 to 4 s after, both ends included
                  {{2.0, 10.0, 13.1, 36.25, 36.24}, {1, 4}, {1, 2, 0, 1, 0}, {0, 1, -1, 3, -1}},
                  {{20, 50}, {1, 4}, {0, 0}, {-1, -1}}, // none, and past the last
                  {{0, 10}, {0, 3}, {1, 1}, {0, 1}},    // a window of its own
                  {{3.0}, {0, 1}, {1}, {0}}};           // at a response's onset
    for (const auto& [markers, window, counts, firsts] : rows) {
        std::vector<int> counted, first;
        for (const auto& o : analysis::responsesToMarkers(markers, responses, window))
            counted.push_back(o.count), first.push_back(o.first ? int(*o.first) : -1);
        EXPECT_EQ(std::pair(counted, first), std::pair(counts, firsts)) << markers[0];
    }
}
