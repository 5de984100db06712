#pragma once
// Drawing saved sessions together: one resistance scale that holds every chosen session's
// recorded range with a 5 % margin (and at least about 4 % of span around a flat set), one time
// axis on which the longest session just fits the width, and a colour per position in the list.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace sylvane::storage {

// Trace colours (0x00BBGGRR) by position in the chosen list; the file manager's list labels
// use the same ones.
inline constexpr std::array<std::uint32_t, 6> kTraceColors = {
    0xFFFF00, // cyan
    0x00FFFF, // yellow
    0x00FF00, // green
    0xFF00FF, // magenta
    0xFF0000, // blue
    0x0000FF, // red
};

struct CommonScale {
    float bottomOhms = 0; // the highest resistance, at the bottom edge
    float topOhms = 0;    // the lowest resistance, at the top edge
    float yScale = 0;     // picture units per Ohm
    std::int32_t readingsPerStep = 1;
};

// The bottom of the scale is the resistance of the smallest reading less the margin; at or
// below 0 ADC that resistance does not exist, so such a range cannot be drawn.
bool commonScaleDefined(std::int32_t minADC, std::int32_t maxADC);

// The common scale for the sessions' extremes, the longest .Tst in bytes and the picture's
// size. Only meaningful when commonScaleDefined(minADC, maxADC).
CommonScale commonScale(std::int32_t minADC, std::int32_t maxADC, std::int64_t longestBytes,
                        float scaleWidth, float scaleHeight);

// The name a session is listed under: the file name of its .Hdr path less the extension.
std::string savedSessionName(std::string_view hdrPath);

} // namespace sylvane::storage
