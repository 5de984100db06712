#pragma once
// What the 200 ms tick decides: the elapsed session time from the seconds-since-midnight clock,
// the colour level's step toward its target, and whether the user has resized the window.

#include <cstdint>

namespace sylvane::acquisition {

inline constexpr float kSecondsPerDay = 86400.0f;
// A fall of the clock between two ticks larger than this is a midnight, not an adjustment.
inline constexpr float kMidnightFall = 7200.0f;

// The clock restarts at 0 every midnight; this counts the midnights a session has run through
// so that its elapsed time keeps growing.
struct MidnightCount {
    float lastClock = 0;
    std::int32_t days = 0;
};

// Resets the count for a session starting at clock value start.
void startCounting(MidnightCount& count, float start);

// Seconds since start (both seconds-since-midnight clock values). Within a day this is exactly
// now - start in 32-bit float arithmetic; each midnight passed adds a day.
float elapsedSeconds(float start, float now, MidnightCount& count);

// Largest distance from the target at which the level takes the target at once (255/49).
inline constexpr float kColorSnap = 5.2040815f;
inline constexpr float kColorStep = 5.0f;

// The colour level one tick later. It moves only during a session, with the valid bit set and no
// probe error; it never goes below 0 and follows a target above 255.
float stepColorLevel(float level, float target, std::int32_t probeStatus, bool sessionRunning);

// Layout reasons the resize watch requests.
inline constexpr std::uint8_t kHeightDriven = 2;
inline constexpr std::uint8_t kWidthDriven = 3;

// The layout the window's current size asks for: 0 when it still has the size of the last
// layout, kWidthDriven when the width moved further than the height, else kHeightDriven. Sizes
// are in twips; the window only has whole pixels, so a difference below one pixel (the rounding
// of the size the layout asked for) is no resize.
std::uint8_t resizeReason(double width, double height, std::int32_t widthSet,
                          std::int32_t heightSet, double twipsPerPixel);

} // namespace sylvane::acquisition
