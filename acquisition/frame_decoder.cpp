#include "acquisition/frame_decoder.h"

namespace sylvane::acquisition {

std::optional<Frame> findFrame(std::span<const std::uint8_t> bytes) {
    if (bytes.size() != kFrameLength) return std::nullopt;
    const auto at = [&](std::size_t i) -> std::int32_t { return bytes[i % kFrameLength]; };
    for (std::size_t i = 0; i < kFrameLength; ++i) {
        if (at(i) == 0xAA && at(i + 1) == 0xAA && at(i + 2) == 0x01) {
            return Frame{at(i + 5) * 256 + at(i + 4), at(i + 6), i};
        }
    }
    return std::nullopt;
}

std::optional<std::int32_t> latchReference(bool& awaitingStartValue, std::int32_t& stableCandidate,
                                           std::int32_t& stableCount, std::int32_t rawADC,
                                           std::int32_t probeStatus) {
    if ((probeStatus & kReadingsValid) == 0 || !awaitingStartValue) return std::nullopt;
    if (stableCandidate != rawADC) {
        stableCandidate = rawADC;
        return std::nullopt;
    }
    ++stableCount;
    if (stableCount <= 10) return std::nullopt;
    awaitingStartValue = false;
    return stableCandidate;
}

} // namespace sylvane::acquisition
