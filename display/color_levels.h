#pragma once
// The colour level (255 neutral, 0..about 510 in use, any float accepted) as the 32-cell bar
// graph and the eight lamps show it. The arithmetic is single precision on purpose: it decides
// where the band and step boundaries fall, and the displays must light the same cells for the
// same level on every machine.

#include <array>
#include <cstdint>

namespace sylvane::display {

inline constexpr int kBarCells = 32;
inline constexpr int kLamps = 8;

// System colour 15, the button face: the blank state of every cell and lamp.
inline constexpr std::uint32_t kNeutralColor = 0x8000000F;
inline constexpr std::uint32_t kBarGreen = 0x0000FF00;
inline constexpr std::uint32_t kBarRed = 0x000000FF;
inline constexpr std::uint32_t kLampsOff = 0x00000000;

// The lamp colour scale c0..c13 (0x00BBGGRR).
inline constexpr std::array<std::uint32_t, 14> kLampColors = {
    0x00FF00FF, // c0 magenta
    0x00FF0000, // c1 blue
    0x00FFFF00, // c2 cyan
    0x0000FF00, // c3 green
    0x0000FFFF, // c4 yellow
    0x000080FF, // c5 orange
    0x000000FF, // c6 red
    0x00C0C0FF, // c7 light red
    0x00C0E0FF, // c8 light orange
    0x00C0FFFF, // c9 light yellow
    0x00C0FFC0, // c10 light green
    0x00FFFFC0, // c11 light cyan
    0x00FFC0C0, // c12 light blue
    0x00FFC0FF, // c13 light magenta
};

inline constexpr double kBandWidth = 2040.0 / 49.0; // 41.63265306122449, eight steps
inline constexpr double kStepWidth = 255.0 / 49.0;  // 5.204081632653061

struct BarGraphPaint {
    // Cells 0..lastLit are lit (at least cell 0), the rest neutral.
    int lastLit = 0;
    std::uint32_t color = kBarGreen;
};

// Green below 256 (resistance risen), red from 256 up; one cell per 8 levels away from the
// neutral point, cell 0 always lit.
BarGraphPaint barGraphOf(float colorLevel);

struct LampRowPaint {
    // Bands past 12 all look the same (black), so counting stops at 13.
    int band = 0;
    // Lamps 0..step are lit (at least lamp 0, the rightmost); 0..7.
    int step = 0;
    std::uint32_t lit = kLampColors[1];
    std::uint32_t unlit = kLampColors[0];
};

LampRowPaint lampRowOf(float colorLevel);

} // namespace sylvane::display
