#pragma once
// Skin conductance responses in the smoothed readings: a rise of conductance of at least the
// threshold (0.05 uS by default) reached within 5 s of its onset, whose rise from the onset to
// its peak takes at least 1 s. The onset is the last reading, in the 5 s before the rise came to
// the threshold, within a tenth of the threshold of the lowest of them (so that a drift by a
// count does not move it back); the peak is confirmed once the conductance has fallen a fifth
// of the threshold below it, or has not risen for 5 s, and the response is counted then. A rise
// from the session's first reading is the contact settling on the skin, not a response. Works at
// any reading rate: the times are given with the readings.

#include "acquisition/session_engine.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <vector>

namespace sylvane::acquisition {

// Conductance in microsiemens of a smoothed ADC value, as the readouts compute it; nothing for
// values that are no reading or have no positive resistance (below 1 or above 4094).
std::optional<float> conductanceOfAdc(std::int32_t adc);

class ResponseDetector {
public:
    static constexpr double kDefaultThreshold = 0.05; // uS
    static constexpr double kMinRise = 0.75;          // s, onset to peak
    static constexpr double kMaxRise = 5.0;           // s, onset to the threshold

    struct Onset {
        std::int64_t record = 0;
        double seconds = 0;
        double amplitude = 0; // uS, onset to peak
    };

    explicit ResponseDetector(double threshold = kDefaultThreshold);

    // A new session: forgets every reading and the count.
    void reset();
    // One reading at seconds (non-decreasing). True when it confirms a response; its onset is
    // then onsets().back().
    bool add(std::int64_t record, double seconds, double microsiemens);
    // The session has ended: a rise still under way counts when it already qualifies.
    bool finish();

    int count() const { return static_cast<int>(m_onsets.size()); }
    const std::vector<Onset>& onsets() const { return m_onsets; }
    double threshold() const { return m_threshold; }

private:
    struct Point {
        std::int64_t record;
        double seconds;
        double g;
        bool first;
    };
    bool confirm();

    double m_threshold;
    bool m_seenFirst = false;
    bool m_rising = false;
    bool m_settling = false;
    Point m_onset{};
    Point m_peak{};
    // The readings since the last peak within the last kMaxRise seconds, and of them those
    // lower than every later one (the front is the lowest, the latest of equals kept).
    std::deque<Point> m_recent;
    std::deque<Point> m_lows;
    std::vector<Onset> m_onsets;
};

// The live count of a session, fed by the session engine with the readings' recorded times, the
// times the exports read back; shown() is told each new count.
class ResponseCounter final : public ReadingFollower {
public:
    void setThreshold(double microsiemens);
    void sessionStarted(float startClock) override;
    void readingRecorded(std::int32_t recordNumber, std::int32_t value, double seconds) override;
    void sessionStopped() override;
    int count() const { return m_detector.count(); }
    const ResponseDetector& detector() const { return m_detector; }
    std::function<void(int count)> shown;

private:
    ResponseDetector m_detector;
};

} // namespace sylvane::acquisition
