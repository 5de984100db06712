#include "display/color_levels.h"

#include "platform/number_rules.h"

#include <algorithm>
#include <cmath>

namespace sylvane::display {

BarGraphPaint barGraphOf(float colorLevel) {
    const float x = colorLevel;
    BarGraphPaint paint;
    float r;
    if (x < 256) {
        r = std::floor(255 - x) / 8;
        paint.color = kBarGreen;
    } else {
        r = std::floor(x - 256) / 8;
        paint.color = kBarRed;
    }
    if (r > 31) r = 31;
    // A level that is not a number lights cell 0 only.
    paint.lastLit = std::clamp(platform::nearest(r), 0, kBarCells - 1);
    return paint;
}

LampRowPaint lampRowOf(float colorLevel) {
    constexpr float bandWidth = static_cast<float>(kBandWidth);
    constexpr float stepWidth = static_cast<float>(kStepWidth);
    constexpr int blackBand = 13;

    LampRowPaint paint;
    float x = colorLevel;
    int band = 0;
    // Past band 12 the row is black whatever the step, and subtracting a band from a huge
    // level no longer changes a float: stop counting there.
    while (x > bandWidth && band < blackBand) {
        x = static_cast<float>(x - kBandWidth);
        ++band;
    }
    paint.band = band;
    if (band >= blackBand) {
        paint.step = 0;
        paint.lit = kLampsOff;
        paint.unlit = kLampsOff;
        return paint;
    }
    int step = 0;
    while (x > stepWidth && step < kLamps - 1) {
        x = static_cast<float>(x - kStepWidth);
        ++step;
    }
    paint.step = step;
    paint.lit = kLampColors[band + 1];
    paint.unlit = kLampColors[band];
    return paint;
}

} // namespace sylvane::display
