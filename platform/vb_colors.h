#pragma once
// Colours are 24-bit values written 0x00BBGGRR; 0x800000nn names the system colour nn, which
// comes from the application palette.

#include <QColor>
#include <cstdint>

namespace sylvane::platform {

constexpr std::uint32_t kWindowBackground = 0x80000005;    // system colour 5
constexpr std::uint32_t kButtonFace = 0x8000000F;          // system colour 15
constexpr std::uint32_t kInactiveCaptionText = 0x80000013; // system colour 19
constexpr std::uint32_t kToolTipBackground = 0x80000018;   // system colour 24

bool isSystemColor(std::uint32_t vbColor);
QColor toQColor(std::uint32_t vbColor);
// 0x00BBGGRR of an RGB colour (system colours are not reversible).
std::uint32_t fromQColor(const QColor& color);

} // namespace sylvane::platform
