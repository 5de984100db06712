#pragma once
// The tonic level: the slow part of the skin conductance, on which the responses stand. It is the
// running median of the conductance over 8 s centred on each reading (the readings at most 4 s
// before and after it); the phasic part is the conductance less it. A median passes over what
// takes up less than half its window, so the rise and peak of a response (1 to 3 s and the
// seconds after) and a reading thrown by the probe moving leave it where it was, and unlike a
// filter it does not spread a response to the readings before its onset: the tonic level at a
// marker is the one before the response that follows. Its window is in seconds, so that it is the
// same at the probe's 2 readings a second (17 readings) as at the line's 53; it follows a slow
// recovery, so the phasic part holds a response's rise and peak rather than its whole tail.

#include <cstddef>
#include <deque>
#include <utility>
#include <vector>

namespace sylvane::analysis {

class TonicLevel {
public:
    static constexpr double kWindowSeconds = 8.0;

    explicit TonicLevel(double windowSeconds = kWindowSeconds);

    // Room for the levels of this many readings, when the number is known (a day at 53 a second
    // is 18 MB; grown a piece at a time it would take up to twice that).
    void reserve(std::size_t readings) { m_levels.reserve(readings); }

    // One reading at seconds (non-decreasing). The levels of the readings whose window is now
    // complete are appended to levels(), one a reading in the order they came.
    void add(double seconds, float microsiemens);
    // No more readings: the levels of the last ones, from the part of their window there is.
    void finish();

    const std::vector<float>& levels() const { return m_levels; }
    std::vector<float> takeLevels() { return std::move(m_levels); }

private:
    void level(bool ending);

    double m_half;
    // The readings from the earliest one in the window of the next reading to level, to the last.
    std::deque<std::pair<double, float>> m_readings;
    // Index in m_readings of the next reading to level, and of the first one not in m_sorted.
    std::size_t m_next = 0;
    std::size_t m_in = 0;
    // The values of m_readings[0, m_in), ascending.
    std::vector<float> m_sorted;
    std::vector<float> m_levels;
};

} // namespace sylvane::analysis
