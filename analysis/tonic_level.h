#pragma once
// The tonic level: the slow part of the skin conductance, on which the responses stand; the
// phasic part is the conductance less it. Two steps, both documented practice for the skin
// conductance level:
//   1. the responses are taken out: from each response's onset to six half-recovery times after
//      its peak (where what is left of it is about 1/64 of its amplitude), or to the next
//      response's onset (the trough between them), or to a minute after the onset, the readings
//      are replaced by the straight line from the onset's reading to the reading there. A
//      response that begins before the last one has come half way back joins it: the line runs
//      on under the tail the first one leaves, to where the later one ends;
//   2. the running median over 20 s centred on each reading, of the readings taken at most four a
//      second (so that it costs the same at the line's 53 a second as at the probe's 2, where it
//      takes every reading), the levels of the readings between them interpolated.
// A median passes over whatever is shorter than half its window: responses below the threshold,
// a reading thrown by the probe moving, the noise; 20 s is longer than a response takes to rise
// and half recover (2 to 10 s), shorter than the tonic level's own changes (tens of seconds to
// minutes). Unlike a filter it does not spread a response to the readings before it, so the level
// at a marker is the one the response after it starts from. Its window is in seconds, so it is the
// same at any rate; at 2 a second it holds 41 readings.

#include "analysis/response_detector.h"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <span>
#include <utility>
#include <vector>

namespace sylvane::analysis {

class TonicLevel {
public:
    static constexpr double kWindowSeconds = 20.0;
    static constexpr double kSampleSeconds = 0.25;   // the median's readings, at most 4 a second
    static constexpr double kHalfRecoveries = 6;     // after the peak, a response is over
    static constexpr double kLongestResponse = 60.0; // s from its onset

    // The session's responses, by onset, as the detector found them in the same readings; they
    // must outlive this.
    explicit TonicLevel(std::span<const Response> responses = {},
                        double windowSeconds = kWindowSeconds);

    // Room for the levels of this many readings, when the number is known (a day at 53 a second
    // is 18 MB; grown a piece at a time it would take up to twice that).
    void reserve(std::size_t readings) { m_levels.reserve(readings); }
    // One reading (seconds non-decreasing), those the detector had, in the same order. The levels
    // of the readings whose window is now complete are appended to levels(), one a reading in
    // the order they came.
    void add(std::int64_t record, double seconds, float microsiemens);
    // No more readings: the levels of the last ones, from the part of their window there is.
    void finish();

    const std::vector<float>& levels() const { return m_levels; }
    std::vector<float> takeLevels() { return std::move(m_levels); }

private:
    void withoutResponses(double seconds, float g);
    void level(bool ending);

    // Step 1: the response being taken out, from its onset's reading.
    std::span<const Response> m_responses;
    std::size_t m_response = 0;
    bool m_inResponse = false;
    double m_fromSeconds = 0;
    float m_fromG = 0;
    std::vector<double> m_underResponse; // times of the readings since the onset
    // Step 2.
    double m_half;
    double m_lastSeconds = 0;
    // The readings without a level yet (their times), the samples from the earliest one in the
    // window of the next sample to level, the index of that one and of the first not in m_sorted.
    std::deque<double> m_waiting;
    std::deque<std::pair<double, float>> m_samples;
    std::size_t m_nextSample = 0;
    std::size_t m_inWindow = 0;
    std::vector<float> m_sorted; // the values of m_samples[0, m_inWindow), ascending
    // The levels of the samples from the last one at or before the first waiting reading.
    std::deque<std::pair<double, float>> m_sampleLevels;
    std::vector<float> m_levels;
};

} // namespace sylvane::analysis
