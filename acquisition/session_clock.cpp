#include "acquisition/session_clock.h"

#include "acquisition/frame_decoder.h"

#include <cmath>

namespace sylvane::acquisition {

void startCounting(MidnightCount& count, float start) {
    count.lastClock = start;
    count.days = 0;
}

float elapsedSeconds(float start, float now, MidnightCount& count) {
    // The clock falling back by more than two hours is a midnight (or a machine woken on a later
    // day); smaller falls are clock adjustments, daylight saving time among them.
    if (now < count.lastClock - kMidnightFall) ++count.days;
    count.lastClock = now;
    const float elapsed = now - start;
    if (count.days == 0) return elapsed;
    return elapsed + static_cast<float>(count.days) * kSecondsPerDay;
}

float stepColorLevel(float level, float target, std::int32_t probeStatus, bool sessionRunning) {
    if ((probeStatus & kProbeError) != 0 || (probeStatus & kReadingsValid) == 0 || !sessionRunning)
        return level;
    const float d = target - level;
    if (std::fabs(d) <= kColorSnap) return target;
    if (d > 0) return level + kColorStep;
    const float lowered = level - kColorStep;
    return lowered < 0 ? 0.0f : lowered;
}

std::uint8_t resizeReason(double width, double height, std::int32_t widthSet,
                          std::int32_t heightSet, double twipsPerPixel) {
    const auto pixels = [&](double twips) { return std::lround(twips / twipsPerPixel); };
    if (pixels(width) == pixels(widthSet) && pixels(height) == pixels(heightSet)) return 0;
    const double dw = std::fabs(width - widthSet);
    const double dh = std::fabs(height - heightSet);
    return dh < dw ? kWidthDriven : kHeightDriven;
}

} // namespace sylvane::acquisition
