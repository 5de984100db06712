#pragma once
// The probe's frame: 9 bytes, AA AA 01, an auxiliary byte, the ADC value (16 bits, low byte
// first), the status byte and an auxiliary word. The port hands over 9 bytes per receive event,
// not necessarily starting at a frame's start, so the 9 bytes are searched as a ring: the bytes
// before the sync are the tail of the same frame. There is no checksum.
//
// Also here: the latch that takes the session's reference reading once the probe has reported
// the same valid value often enough.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace sylvane::acquisition {

inline constexpr std::size_t kFrameLength = 9;

// Status byte bits.
inline constexpr std::int32_t kProbeError = 0x01;
inline constexpr std::int32_t kBatteryLow = 0x02;
inline constexpr std::int32_t kReadingsValid = 0x04;

struct Frame {
    std::int32_t adc = 0;
    std::int32_t status = 0;
    // Ring position of the first sync byte.
    std::size_t start = 0;
};

// The frame held by one read: the lowest ring position with AA AA 01 wins. Nothing when no
// position holds the sync, or when the read is not exactly one frame long.
std::optional<Frame> findFrame(std::span<const std::uint8_t> bytes);

// One receive event's step of the reference latch. While awaitingStartValue and the latest
// reading is valid, an event repeating stableCandidate counts; a different value becomes the new
// candidate without resetting the count. On the 11th counted event the latch closes and the
// candidate is returned as the session's reference.
std::optional<std::int32_t> latchReference(bool& awaitingStartValue, std::int32_t& stableCandidate,
                                           std::int32_t& stableCount, std::int32_t rawADC,
                                           std::int32_t probeStatus);

} // namespace sylvane::acquisition
