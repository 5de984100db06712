#pragma once
// The responses to each marker: those whose onset falls in the marker's window, by default 1 to
// 4 s after it (both ends included), the window of the event-related measures in the field. The
// responses are those of the detector, so they have the minimum amplitude of its threshold.

#include "analysis/response_detector.h"

#include <cstddef>
#include <optional>
#include <span>
#include <vector>

namespace sylvane::analysis {

struct ResponseWindow {
    double fromSeconds = 1; // after the marker
    double toSeconds = 4;
};

struct MarkerResponses {
    int count = 0;
    // The first of them, an index in the responses.
    std::optional<std::size_t> first;
};

// One a marker, in the markers' order; the markers' times and the responses' onsets are seconds
// from Start, the responses in the order of their onsets.
std::vector<MarkerResponses> responsesToMarkers(std::span<const double> markerSeconds,
                                                std::span<const Response> responses,
                                                ResponseWindow window);

} // namespace sylvane::analysis
