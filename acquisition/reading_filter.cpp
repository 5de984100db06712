#include "acquisition/reading_filter.h"

#include "acquisition/frame_decoder.h"
#include "platform/number_rules.h"

namespace sylvane::acquisition {

bool filterReading(const FilterFields& f, std::int32_t& rawADC, std::int32_t probeStatus) {
    if ((probeStatus & kReadingsValid) == 0 || rawADC == 0) return false;

    auto& w = f.adcWindow;
    bool windowValid = true;
    for (std::size_t i = 1; i <= 5; ++i) {
        w[i - 1] = w[i];
        if (w[i] < kLowestValidAdc || w[i] > kHighestValidAdc) windowValid = false;
    }
    if (!windowValid) {
        w[5] = rawADC;
        return false;
    }

    if (f.smoothedADC == 0) f.smoothedADC = w[1];

    const std::int64_t d = std::int64_t{rawADC} - f.smoothedADC;
    if (d > kLargestStep) rawADC = f.smoothedADC + kLargestStep;
    if (d < -kLargestStep) rawADC = f.smoothedADC - kLargestStep;

    w[5] = rawADC;
    const std::int64_t sum = std::int64_t{w[1]} + w[2] + w[3] + w[4] + w[5];
    f.smoothedADC = platform::nearest(static_cast<double>(sum) / 5.0);

    if (f.smoothedADC > f.maxADC) f.maxADC = f.smoothedADC;
    if (f.smoothedADC < f.minADC) f.minADC = f.smoothedADC;
    return true;
}

} // namespace sylvane::acquisition
