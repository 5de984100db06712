// What is measured from the readings: the skin conductance responses (found, and each measured),
// the tonic level, and the responses to each marker, over synthetic sessions whose responses
// and tonic level are known.

#include "analysis/marker_responses.h"
#include "analysis/response_detector.h"
#include "analysis/tonic_level.h"
#include "probe_signal.h"
#include "tests/unit/unit_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <numbers>
#include <vector>

using namespace sylvane;
using analysis::Response;
using analysis::ResponseDetector;
using unittest::halfCosine;

namespace {

// A skin response as the field models it, the difference of two exponentials (rising with the
// time constant up, recovering with down), scaled so that its peak stands `amplitude` above its
// onset.
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
    const struct {
        const char* name;
        double rate;
        double threshold;
        std::function<double(double)> g;
        int count;
        int halfRecovered;
    } rows[] = {
        {"a response", 53, 0.05, [](double t) { return 2 + halfCosine(t, 10, 0.1); }, 1, 1},
        {"at 2 readings a second", 2, 0.05, [](double t) { return 2 + halfCosine(t, 10, 0.1); }, 1,
         1},
        {"two responses", 2, 0.05,
         [](double t) { return 2 + halfCosine(t, 10, 0.2) + halfCosine(t, 40, 0.06); }, 2, 2},
        {"the second before the first is half way back", 2, 0.05,
         [](double t) { return 2 + halfCosine(t, 10, 0.2) + halfCosine(t, 14, 0.2); }, 2, 1},
        {"below the threshold", 53, 0.05, [](double t) { return 2 + halfCosine(t, 10, 0.04); }, 0,
         0},
        {"a rise of exactly a lower threshold", 2, 0.03125,
         [](double t) {
             return 2 + std::clamp(t - 10, 0.0, 2.0) / 64 - std::max(t - 12, 0.0) / 100;
         },
         1, 1},
        {"a jump within a reading: the probe moved", 53, 0.05,
         [](double t) { return t < 10 ? 2.0 : 2.2; }, 0, 0},
        {"a rise too slow: 0.1 uS over 20 s", 53, 0.05,
         [](double t) { return 2 + std::clamp((t - 10) / 200, 0.0, 0.1); }, 0, 0},
        {"the contact settling from the first reading", 53, 0.05,
         [](double t) { return 2 - 0.3 * std::exp(-t / 0.4); }, 0, 0},
        {"still rising when the session ends", 2, 0.05,
         [](double t) { return 2 + halfCosine(t, 55, 0.3, 3); }, 1, 0},
        {"at its peak when the session ends", 2, 0.05,
         [](double t) { return 2 + halfCosine(t, 55, 0.3, 3) + 0.001 * std::max(t - 58, 0.0); }, 1,
         0},
    };
    for (const auto& r : rows) {
        ResponseDetector detector(r.threshold);
        for (int i = 0; i < static_cast<int>(60 * r.rate); ++i)
            detector.add(i + 1, i / r.rate, r.g(i / r.rate));
        detector.finish();
        EXPECT_EQ(detector.count(), r.count) << r.name;
        EXPECT_EQ(std::ranges::count_if(
                      detector.responses(),
                      [](const Response& x) { return x.halfRecoverySeconds.has_value(); }),
                  r.halfRecovered)
            << r.name;
    }

    // Ten minutes of the simulated probe: every onset is near one of its responses (from 1.5 s
    // before its start to 3 s after), and every response not on top of another (none in the
    // 15 s before it, none in the 8 s after) is found.
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
    // Ten minutes at 2 and at 10 readings a second: the tonic level drifting, noise of 0.0003 uS
    // (the probe's own is about 0.15 counts, 0.0003 uS), and a response every 40 s from 20 s, its
    // onset between readings, rising in 1.2 to 2.7 s and half recovered 3 to 6 s after its peak.
    // The expected measures are those of the noiseless signal, sought on a millisecond grid: the
    // amplitude from the onset to the highest point, the rise to it, the half-recovery to where
    // the signal is back down by half the amplitude. Between the responses the tonic level is the
    // drift's, and drift and noise alone give no response.
    const struct {
        double rate;
        double amplitude; // 0: none
        double threshold;
    } rows[] = {
        {2, 0.02, 0.01},  {2, 0.05, 0.02},  {2, 0.1, 0.05},  {2, 0.5, 0.05},  {2, 0, 0.01},
        {10, 0.02, 0.01}, {10, 0.05, 0.02}, {10, 0.1, 0.05}, {10, 0.5, 0.05}, {10, 0, 0.01},
    };
    const double shapes[4][2] = {{0.5, 2.5}, {0.75, 3.5}, {1, 4}, {1.5, 5}};
    for (const auto& row : rows) {
        SCOPED_TRACE(::testing::Message() << row.rate << " readings a second, responses of "
                                          << row.amplitude << " uS, threshold " << row.threshold);
        std::vector<Scr> scrs;
        for (int k = 0; row.amplitude > 0 && k < 14; ++k) {
            const auto& [up, down] = shapes[k % 4];
            scrs.push_back({20 + 40 * k + 0.137 * k, row.amplitude, up, down});
        }
        const auto phasic = [&](double t) {
            double sum = 0;
            for (const Scr& s : scrs) sum += s.at(t);
            return sum;
        };
        const auto signal = [&](double t) { return drift(t) + phasic(t); };

        probesim::Random noise(7);
        ResponseDetector detector(row.threshold);
        std::vector<double> times, readings;
        const int n = static_cast<int>(600 * row.rate);
        for (int i = 0; i < n; ++i) {
            const double t = i / row.rate;
            times.push_back(t);
            readings.push_back(signal(t) + 0.0003 * noise.normal());
            detector.add(i + 1, t, readings.back());
        }
        detector.finish();
        analysis::TonicLevel tonic(detector.responses());
        for (int i = 0; i < n; ++i)
            tonic.add(i + 1, times[static_cast<std::size_t>(i)],
                      static_cast<float>(readings[static_cast<std::size_t>(i)]));
        tonic.finish();

        const auto& found = detector.responses();
        ASSERT_EQ(found.size(), scrs.size());
        const double reading = 1 / row.rate + 1e-9;
        for (std::size_t k = 0; k < scrs.size(); ++k) {
            SCOPED_TRACE(::testing::Message() << "the response at " << scrs[k].onset << " s");
            const double t0 = scrs[k].onset;
            double peakAt = t0;
            for (double t = t0; t < t0 + 6; t += 0.001)
                if (signal(t) > signal(peakAt)) peakAt = t;
            const double amplitude = signal(peakAt) - signal(t0);
            double halfAt = peakAt;
            while (signal(halfAt) > signal(peakAt) - amplitude / 2) halfAt += 0.001;

            const Response& r = found[k];
            EXPECT_NEAR(r.onsetSeconds, t0, reading);
            EXPECT_NEAR(r.amplitude(), amplitude, 0.1 * amplitude);
            EXPECT_NEAR(r.riseSeconds(), peakAt - t0, reading);
            ASSERT_TRUE(r.halfRecoverySeconds);
            EXPECT_NEAR(*r.halfRecoverySeconds, halfAt - peakAt, 1.0);
        }

        // The tonic level: the drift's, the responses left out, wherever its 20 s window is
        // whole.
        const std::vector<float>& levels = tonic.levels();
        ASSERT_EQ(levels.size(), times.size());
        for (std::size_t i = 0; i < times.size(); ++i) {
            if (times[i] < 10 || times[i] > 590) continue;
            ASSERT_NEAR(levels[i], drift(times[i]), 0.002 + 0.02 * row.amplitude)
                << "at " << times[i] << " s";
        }
    }
}

TEST(TonicLevel, LeavesOutResponsesFromTroughToTroughOrOverlappingAsOne) {
    // At 2 readings a second on a level of 2 uS: a response of 0.3 uS at 20 s (half recovered
    // 3.2 s after its peak at 21.5 s), and a second one; the tonic level at the second's onset.
    // After the first came half way back, the second rises from the first's tail (2.033 uS at
    // 30 s): the lines run onset to trough to where the second is over, and the 20 s median
    // around the trough lies between the two lines' values there. Before that (23 s, the tail at
    // 2.236 uS), one line runs from the first onset under both, a hundredth above 2 uS at most.
    // A response still at its peak at the end leaves the level of its onset.
    const struct {
        const char* name;
        double second; // s; 0: none
        double end;    // s
        double at;     // s
        double lo, hi;
    } rows[] = {
        {"the second after the first came half way back", 30, 120, 30, 2.015, 2.035},
        {"the second before", 23, 120, 23, 1.998, 2.012},
        {"still at its peak at the end", 0, 22, 21.5, 1.999, 2.001},
    };
    for (const auto& r : rows) {
        std::vector<Scr> scrs{{20, 0.3, 0.75, 3.5}};
        if (r.second > 0) scrs.push_back({r.second, 0.3, 0.75, 3.5});
        ResponseDetector detector;
        std::vector<double> g;
        for (int i = 0; i < static_cast<int>(2 * r.end); ++i) {
            double sum = 2;
            for (const Scr& scr : scrs) sum += scr.at(i / 2.0);
            g.push_back(sum);
            detector.add(i + 1, i / 2.0, sum);
        }
        detector.finish();
        ASSERT_EQ(detector.count(), static_cast<int>(scrs.size())) << r.name;
        analysis::TonicLevel tonic(detector.responses());
        for (std::size_t i = 0; i < g.size(); ++i)
            tonic.add(static_cast<std::int64_t>(i) + 1, static_cast<double>(i) / 2,
                      static_cast<float>(g[i]));
        tonic.finish();
        const float level = tonic.levels()[static_cast<std::size_t>(2 * r.at)];
        EXPECT_GE(level, r.lo) << r.name;
        EXPECT_LE(level, r.hi) << r.name;
    }
}

TEST(MarkerResponses, CountsTheOnsetsInEachMarkersWindow) {
    std::vector<Response> responses;
    for (const double onset : {3.0, 12.5, 14.0, 40.25})
        responses.push_back({0, onset, 2, onset + 2, 2.1, {}});
    const struct {
        const char* name;
        std::vector<double> markers;
        analysis::ResponseWindow window;
        std::vector<int> counts;
        std::vector<int> firsts; // -1 none
    } rows[] = {
        {"1 to 4 s after, both ends included",
         {2.0, 10.0, 13.1, 36.25, 36.24},
         {1, 4},
         {1, 2, 0, 1, 0},
         {0, 1, -1, 3, -1}},
        {"a marker without a response, and past the last", {20, 50}, {1, 4}, {0, 0}, {-1, -1}},
        {"a window of its own", {0, 10}, {0, 3}, {1, 1}, {0, 1}},
        {"a marker at a response's onset", {3.0}, {0, 1}, {1}, {0}},
    };
    for (const auto& r : rows) {
        const auto out = analysis::responsesToMarkers(r.markers, responses, r.window);
        ASSERT_EQ(out.size(), r.markers.size()) << r.name;
        for (std::size_t i = 0; i < out.size(); ++i) {
            EXPECT_EQ(out[i].count, r.counts[i]) << r.name << ", marker " << i + 1;
            EXPECT_EQ(out[i].first ? static_cast<int>(*out[i].first) : -1, r.firsts[i])
                << r.name << ", marker " << i + 1;
        }
    }
}
