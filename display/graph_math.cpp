#include "display/graph_math.h"

#include "platform/number_rules.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace sylvane::display {

using platform::nearest;

bool pictureTooSmall(float scaleWidth, float scaleHeight) {
    // Written so that NaN sizes count as too small as well.
    return !(scaleWidth >= kSmallestDrawable) || !(scaleHeight >= kSmallestDrawable);
}

GraphScale liveScale(std::int32_t baseADC, std::int32_t sensitivity, float scaleHeight) {
    GraphScale s;
    const float base = platform::resistanceOfAdc(baseADC);
    s.bottomOhms = static_cast<float>((sensitivity / 100.0 + 1.0) * base);
    if (2.0 * base - s.bottomOhms >= 0) {
        s.yScale =
            static_cast<float>((scaleHeight / 2.0) / (s.bottomOhms - static_cast<double>(base)));
        // The picture spans base +/- (bottom - base): its top is 2 base - bottom, 0 Ohm at 100 %.
        s.topOhms = static_cast<float>(2.0 * base - s.bottomOhms);
    } else {
        s.yScale = static_cast<float>(scaleHeight / static_cast<double>(s.bottomOhms));
        // The picture spans 0 Ohm to the bottom. Dividing the height by the scale again would
        // bring back a rounding error of a few hundredths of an Ohm for the top label to show.
        s.topOhms = 0;
    }
    return s;
}

std::int32_t plotY(float ohms, float bottomOhms, float yScale, float scaleHeight) {
    return nearest(scaleHeight - (static_cast<double>(bottomOhms) - ohms) * yScale);
}

std::int32_t wrapX(std::int32_t step, float scaleWidth) {
    return platform::vbMod(step, nearest(scaleWidth));
}

bool offScale(std::int32_t y, float scaleHeight) {
    return y > scaleHeight || y < 0;
}

std::int32_t widenedSensitivity(double sensitivityValue) {
    const std::int32_t wider = nearest(nearest(sensitivityValue) * 1.25);
    return wider > kMaxSensitivity ? kMaxSensitivity : wider;
}

bool redrawDue(bool requested, double baseLabelValue, std::int32_t graphBaseADC,
               double sensitivityLabelValue, std::int32_t graphSensitivity) {
    return requested || nearest(baseLabelValue) != graphBaseADC ||
           nearest(sensitivityLabelValue) != graphSensitivity;
}

std::int32_t readingsPerStepFor(std::int32_t recordNumber, float scaleWidth) {
    const std::int32_t perStep = platform::intDiv(recordNumber, nearest(scaleWidth)) + 1;
    return perStep < 1 ? 1 : perStep;
}

bool widthOverflow(std::int32_t recordNumber, float scaleWidth) {
    const std::int32_t width = nearest(scaleWidth);
    return width > 0 && platform::vbMod(recordNumber, width) == 1;
}

bool liveStepDue(std::int32_t stepCount, std::int32_t readingsPerStep) {
    return platform::vbMod(stepCount, readingsPerStep) == 0;
}

std::int32_t liveStepX(std::int32_t recordNumber, std::int32_t readingsPerStep) {
    if (readingsPerStep == 0) return recordNumber;
    return nearest(static_cast<double>(recordNumber) / readingsPerStep);
}

std::array<std::string, 10> axisLabelTexts(float bottomOhms, float topOhms, float scaleWidth,
                                           std::int32_t readingsPerStep, bool floorAtZero) {
    std::array<std::string, 10> texts;
    for (int i = 0; i < 5; ++i) {
        double v = (static_cast<double>(bottomOhms) - topOhms) / 4.0 * i + topOhms;
        if (floorAtZero && v < 0) v = 0;
        texts[static_cast<std::size_t>(i)] = platform::formatOhms(static_cast<float>(v));
    }
    for (int i = 5; i < 10; ++i) {
        double t = (scaleWidth / 2.0) * readingsPerStep * (i - 5) / 4.0;
        if (floorAtZero && t < 0) t = 0;
        const std::string hms = platform::formatTime(static_cast<float>(t));
        texts[static_cast<std::size_t>(i)] = hms.size() > 5 ? hms.substr(hms.size() - 5) : hms;
    }
    return texts;
}

TraceStepper::TraceStepper(std::int32_t readingsPerStep)
    : m_perStep(readingsPerStep < 1 ? 1 : readingsPerStep) {}

void TraceStepper::feed(std::int64_t firstRecord, std::span<const std::int32_t> values,
                        const Plot& plot) {
    // Position of the record within its step, kept as a counter: no division per record. A
    // record at position 0 closes its step, unless it is below 1; the records between are
    // summed in runs, which the compiler turns into vector additions.
    std::int64_t phase = firstRecord % m_perStep;
    std::int64_t step = firstRecord / m_perStep;
    const std::size_t n = values.size();
    std::size_t i = 0;
    std::size_t openFrom = 0;
    bool closed = false;
    while (i < n) {
        if (phase == 0) {
            const std::int32_t v = values[i];
            if (v >= 1) {
                m_adcSum += v;
                const std::int32_t a =
                    nearest(static_cast<double>(m_adcSum) / static_cast<double>(m_perStep));
                // A step whose few valid records average below 1 has no finite resistance.
                const float ohms =
                    a >= 1 ? platform::resistanceOfAdc(a) : std::numeric_limits<float>::infinity();
                plot(static_cast<std::int32_t>(step), ohms);
                ++m_steps;
                m_adcSum = 0;
                closed = true;
                openFrom = i + 1;
            }
            ++i;
            if (++phase == m_perStep) {
                phase = 0;
                ++step;
            }
            continue;
        }
        const auto run = static_cast<std::size_t>(
            std::min<std::int64_t>(static_cast<std::int64_t>(n - i), m_perStep - phase));
        std::int64_t sum = 0;
        for (std::size_t k = i; k < i + run; ++k) sum += values[k] >= 1 ? values[k] : 0;
        m_adcSum += sum;
        i += run;
        phase += static_cast<std::int64_t>(run);
        if (phase == m_perStep) {
            phase = 0;
            ++step;
        }
    }
    // Keep the valid records of the step still open.
    if (closed) m_open.clear();
    for (std::size_t k = openFrom; k < n; ++k)
        if (values[k] >= 1) m_open.push_back(values[k]);
}

float TraceStepper::openOhms() const {
    double sum = 0;
    for (const std::int32_t v : m_open) sum += platform::resistanceOfAdc(v);
    return static_cast<float>(sum);
}

} // namespace sylvane::display
