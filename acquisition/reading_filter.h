#pragma once
// The reading filter: decides whether a reading may be shown, plotted and recorded, limits how
// far one reading may move from the current mean, and keeps the mean of the last five readings
// and the session's extremes of that mean.
//
// The window of readings is never cleared: it carries over from one session to the next.

#include <array>
#include <cstdint>

namespace sylvane::acquisition {

inline constexpr std::int32_t kLowestValidAdc = 80;
inline constexpr std::int32_t kHighestValidAdc = 4000;
// One reading may move at most this far from the mean (one more than the nominal 200).
inline constexpr std::int32_t kLargestStep = 201;

// The fields the filter works on, held by the main window.
struct FilterFields {
    // 1..5 the last five readings, oldest at 1; 0 receives the value shifted out.
    std::array<std::int32_t, 6>& adcWindow;
    // Mean of adcWindow(1..5); 0 until the filter has started.
    std::int32_t& smoothedADC;
    std::int32_t& minADC;
    std::int32_t& maxADC;
};

// Runs the filter on one decoded reading. rawADC is replaced by its slew-limited value when the
// limit applies. False when the reading is rejected: the valid bit is clear, the value is 0, or
// the window held a value outside 80..4000 (the reading then enters the window unlimited).
bool filterReading(const FilterFields& fields, std::int32_t& rawADC, std::int32_t probeStatus);

} // namespace sylvane::acquisition
