#pragma once
// Skin conductance responses in the smoothed readings, measured as the field measures them:
//   onset          where the rise begins: the reading at its foot (the trough before the peak),
//                  whose level the amplitude is measured from, and the time, between that reading
//                  and the next, where the first step of the rise extended back leaves that level;
//   peak           the top of the rise, between readings: the top of a cubic fitted to the
//                  readings within a fifth of the rise of the highest one (at least four: at 2
//                  readings a second the highest, its neighbours and one more), so that the peak
//                  is neither up to a quarter of a second off nor cut short, and a broad top is
//                  found among noise;
//   amplitude      peak minus onset, in uS;
//   rise time      onset to peak;
//   half-recovery  peak to the moment the conductance is back down by half the amplitude (the
//                  readings on either side interpolated), none when the session ends or the next
//                  response begins first.
// A response is a rise of at least the threshold (0.05 uS by default) that comes to the threshold
// within 5 s of the lowest reading before it, and whose peak stands at least the threshold above
// its onset and at least 0.75 s after it (a faster jump is the probe moving). The foot is found by
// walking back from where the rise came to the threshold to the first reading that stands less
// than a tenth of the threshold above the one half a second before it, so that noise and a slow
// drift do not move the onset back (one reading further when that one already stands clearly
// above the one before it: the rise began between them). The peak is confirmed once the conductance
// has fallen a fifth of the rise below it, or has not risen for 5 s, and the response is counted
// then. A rise from the session's first reading is the contact settling on the skin, not a
// response. Works at any reading rate: the times come with the readings.

#include <cstdint>
#include <deque>
#include <optional>
#include <vector>

namespace sylvane::analysis {

// Conductance in microsiemens of a smoothed ADC value, as the readouts compute it; nothing for
// values that are no reading or have no positive resistance (below 1 or above 4094).
std::optional<float> conductanceOfAdc(std::int32_t adc);

struct Response {
    std::int64_t onsetRecord = 0;
    double onsetSeconds = 0;
    double onsetLevel = 0; // uS
    double peakSeconds = 0;
    double peakLevel = 0; // uS
    std::optional<double> halfRecoverySeconds;

    double amplitude() const { return peakLevel - onsetLevel; }
    double riseSeconds() const { return peakSeconds - onsetSeconds; }
};

class ResponseDetector {
public:
    static constexpr double kDefaultThreshold = 0.05; // uS
    static constexpr double kMinRise = 0.75;          // s, onset to peak
    static constexpr double kMaxRise = 5.0;           // s, lowest reading to the threshold
    static constexpr double kFootSpan = 0.5;          // s, over which the foot of a rise is flat

    explicit ResponseDetector(double threshold = kDefaultThreshold);

    // A new session: forgets every reading and response.
    void reset();
    // One reading at seconds (non-decreasing). True when it confirms a response, which is then
    // responses().back(); its half-recovery may come with a later reading.
    bool add(std::int64_t record, double seconds, double microsiemens);
    // The session has ended: a rise still under way counts when it already qualifies.
    bool finish();

    int count() const { return static_cast<int>(m_responses.size()); }
    const std::vector<Response>& responses() const { return m_responses; }
    std::vector<Response> takeResponses() { return std::move(m_responses); }
    double threshold() const { return m_threshold; }

private:
    struct Point {
        std::int64_t record;
        double seconds;
        double g;
        bool first;
    };
    bool confirm();
    std::size_t onsetOfRise() const;
    void recover(const Point& p);

    double m_threshold;
    bool m_seenFirst = false;
    Point m_previous{};
    // The rise under way: its onset, its highest reading, and its readings from the onset (from
    // kMaxRise seconds before the highest reading on).
    bool m_rising = false;
    bool m_settling = false;
    Point m_onset{};
    Point m_peak{};
    std::deque<Point> m_rise;
    // The last response until it is half recovered: the level to come down to, and where the
    // conductance was last seen above it.
    bool m_recovering = false;
    double m_halfLevel = 0;
    double m_aboveSeconds = 0;
    double m_aboveG = 0;
    // The readings since the last peak within the last kMaxRise seconds, and of them those
    // lower than every later one (the front is the lowest, the latest of equals kept).
    std::deque<Point> m_recent;
    std::deque<Point> m_lows;
    std::vector<Response> m_responses;
};

} // namespace sylvane::analysis
