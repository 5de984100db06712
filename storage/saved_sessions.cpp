#include "storage/saved_sessions.h"

#include "platform/number_rules.h"

#include <cmath>
#include <limits>

namespace sylvane::storage {

namespace {
constexpr double kAdcOhmsNumerator = 1924650000.0;
constexpr double kSeriesOhms = 470000.0;

double marginOf(std::int32_t minADC, std::int32_t maxADC) {
    return (static_cast<double>(maxADC) - minADC) * 0.05;
}
} // namespace

bool commonScaleDefined(std::int32_t minADC, std::int32_t maxADC) {
    // Written so that a NaN bottom also counts as undefined.
    return minADC - marginOf(minADC, maxADC) > 0;
}

CommonScale commonScale(std::int32_t minADC, std::int32_t maxADC, std::int64_t longestBytes,
                        float scaleWidth, float scaleHeight) {
    CommonScale s;
    const double margin = marginOf(minADC, maxADC);
    float bottom = static_cast<float>(kAdcOhmsNumerator / (minADC - margin) - kSeriesOhms);
    float top = static_cast<float>(kAdcOhmsNumerator / (maxADC + margin) - kSeriesOhms);

    // A flat set gets a span of about 4 % around its resistance. Readings near the top of the
    // ADC range put the top edge at or below 0 Ohm: widen around its magnitude there, so the
    // scale never turns upside down or collapses to nothing.
    const double span = static_cast<double>(bottom) - top;
    if (!(span >= 0.02 * std::fabs(static_cast<double>(top))) || !(span > 0)) {
        if (top > 0) {
            bottom = top * 1.02f;
            top = top * 0.98f;
        } else if (top < 0) {
            bottom = top * 0.98f;
            top = top * 1.02f;
        } else {
            bottom = 1.0f;
            top = -1.0f;
        }
    }
    s.bottomOhms = bottom;
    s.topOhms = top;
    s.yScale = static_cast<float>(scaleHeight / (static_cast<double>(bottom) - top));

    const std::int32_t perStep =
        platform::intDiv(longestBytes, platform::nearest(static_cast<double>(scaleWidth) * 4));
    s.readingsPerStep =
        perStep < 1 ? 1
                    : (perStep == std::numeric_limits<std::int32_t>::max() ? perStep : perStep + 1);
    return s;
}

std::string savedSessionName(std::string_view hdrPath) {
    const std::size_t slash = hdrPath.rfind('/');
    std::string_view name = slash == std::string_view::npos ? hdrPath : hdrPath.substr(slash + 1);
    name = name.substr(0, name.size() >= 4 ? name.size() - 4 : 0);
    return std::string(name);
}

} // namespace sylvane::storage
