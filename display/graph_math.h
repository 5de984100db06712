#pragma once
// The arithmetic of the picture graph: the resistance scale, where a value lands on the picture,
// the dotted grid, the axis label texts, the automatic widening of the sensitivity, when the
// graph must be redrawn, and how the time axis is compressed so that a session of any length
// fits the width. Sizes are the picture's own units (pixels); resistances are Ohms.

#include "platform/number_rules.h"

#include <array>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

namespace sylvane::display {

inline constexpr std::uint32_t kLiveTraceColor = 0xFFFFFF;
inline constexpr std::uint32_t kLiveGridColor = 0xFF00FF;
inline constexpr std::uint32_t kSavedGridColor = 0xFFFFFF;
inline constexpr std::int32_t kMaxSensitivity = 1000;
// Widths of the range notice inside the picture, in pixels.
inline constexpr int kReadjustingNoticeWidth = 150;
inline constexpr int kMaximumNoticeWidth = 300;
inline constexpr const char* kReadjustingNotice = "Readjusting  graph";
inline constexpr const char* kMaximumNotice = "Maximum Sensitivity!  Graph off scale!";

// Below this many pixels either way the grid and the x wrap have nothing to divide by, so
// nothing is drawn (recording goes on).
inline constexpr float kSmallestDrawable = 10.0f;
bool pictureTooSmall(float scaleWidth, float scaleHeight);

struct GraphScale {
    float yScale = 0;     // picture units per Ohm
    float bottomOhms = 0; // resistance at the bottom edge
    float topOhms = 0;    // resistance at the top edge
};

// Scale of the live graph for a reference ADC reading and a sensitivity in percent: centred on
// the reference and spanning it +/- sensitivity percent up to 100 %, from 0 Ohm at the top above.
GraphScale liveScale(std::int32_t baseADC, std::int32_t sensitivity, float scaleHeight);

// Picture y of a resistance: bottomOhms on the bottom edge, smaller resistances higher up.
std::int32_t plotY(float ohms, float bottomOhms, float yScale, float scaleHeight);
// Picture x of step number x: steps wrap at the width (0 when the width rounds to 0).
std::int32_t wrapX(std::int32_t step, float scaleWidth);
// The edges themselves (0 and scaleHeight) are on scale.
bool offScale(std::int32_t y, float scaleHeight);

// The sensitivity after one automatic widening: x 1.25, whole, at most 1000.
std::int32_t widenedSensitivity(double sensitivityValue);

// Step 8 of a reading: a redraw is due when asked for or when the reference or the sensitivity
// label no longer gives the values the scale was computed for. Labels are compared by their
// whole-number value, the one the scale takes, so a caption such as "25.5" cannot force a full
// redraw on every reading.
bool redrawDue(bool requested, double baseLabelValue, std::int32_t graphBaseADC,
               double sensitivityLabelValue, std::int32_t graphSensitivity);

// Readings averaged into one step so that recordNumber readings fit the width: at least 1.
std::int32_t readingsPerStepFor(std::int32_t recordNumber, float scaleWidth);
// True right after the record that fills the width at the present step size.
bool widthOverflow(std::int32_t recordNumber, float scaleWidth);
// Whether the live step closes at this reading, and the x it is drawn at.
bool liveStepDue(std::int32_t stepCount, std::int32_t readingsPerStep);
std::int32_t liveStepX(std::int32_t recordNumber, std::int32_t readingsPerStep);

// Texts of lbl4Graf(0..9): five resistances from top to bottom, then five times from left to
// right (minutes and seconds). The live graph shows negative values as 0; the saved-session
// display does not.
std::array<std::string, 10> axisLabelTexts(float bottomOhms, float topOhms, float scaleWidth,
                                           std::int32_t readingsPerStep, bool floorAtZero);

// Every dot of the grid: five dotted lines each way at 0, 1/4, 1/2, 3/4 and the full extent
// (less one unit), about one dot every 10 units. Nothing for a picture too small to divide.
template <typename Dot> void forEachGridDot(float scaleWidth, float scaleHeight, Dot&& dot);

// Replays records into steps of readingsPerStep: records below 1 are skipped (neither summed
// nor closing a step); record i closes a step when i is a multiple of readingsPerStep, and the
// step is plotted at i / readingsPerStep with the resistance of its mean ADC value. The sum of
// the resistances of a step left open at the end is kept, so that live readings, which sum
// resistances, can complete it.
class TraceStepper {
public:
    using Plot = std::function<void(std::int32_t step, float ohms)>;

    explicit TraceStepper(std::int32_t readingsPerStep);

    // Records firstRecord, firstRecord + 1, ... in order; blocks must follow each other.
    void feed(std::int64_t firstRecord, std::span<const std::int32_t> values, const Plot& plot);

    std::int64_t stepsPlotted() const { return m_steps; }
    // Records summed into the step still open, and the sum of their resistances.
    std::int32_t openCount() const { return static_cast<std::int32_t>(m_open.size()); }
    float openOhms() const;

private:
    std::int32_t m_perStep;
    std::int64_t m_adcSum = 0;
    // The values of the step still open: only its resistances are ever needed, so they are
    // converted at the end rather than for every record replayed.
    std::vector<std::int32_t> m_open;
    std::int64_t m_steps = 0;
};

template <typename Dot> void forEachGridDot(float scaleWidth, float scaleHeight, Dot&& dot) {
    if (pictureTooSmall(scaleWidth, scaleHeight)) return;
    const std::int32_t nx = platform::nearest16(scaleWidth / 10.0);
    const std::int32_t ny = platform::nearest16(scaleHeight / 10.0);
    for (int i = 0; i < 5; ++i) {
        std::int32_t y = platform::nearest(i * static_cast<double>(scaleHeight) / 4.0 - 1.0);
        if (y < 0) y = 0;
        for (std::int32_t j = 0; j <= nx; ++j)
            dot(platform::nearest(static_cast<double>(scaleWidth) / nx * j), y);
    }
    for (int i = 5; i < 10; ++i) {
        std::int32_t x = platform::nearest((i - 5) * static_cast<double>(scaleWidth) / 4.0 - 1.0);
        if (x < 0) x = 0;
        for (std::int32_t j = 0; j <= ny; ++j)
            dot(x, platform::nearest(static_cast<double>(scaleHeight) / ny * j));
    }
}

} // namespace sylvane::display
