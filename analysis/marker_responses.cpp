#include "analysis/marker_responses.h"

#include <algorithm>

namespace sylvane::analysis {

std::vector<MarkerResponses> responsesToMarkers(std::span<const double> markerSeconds,
                                                std::span<const Response> responses,
                                                ResponseWindow window) {
    // The times are whole milliseconds: a microsecond covers their sums' rounding.
    constexpr double kSlack = 1e-6;
    std::vector<MarkerResponses> out;
    out.reserve(markerSeconds.size());
    for (const double marker : markerSeconds) {
        const auto from = std::ranges::lower_bound(responses, marker + window.fromSeconds - kSlack,
                                                   {}, &Response::onsetSeconds);
        const auto to = std::ranges::upper_bound(
            from, responses.end(), marker + window.toSeconds + kSlack, {}, &Response::onsetSeconds);
        MarkerResponses m;
        m.count = static_cast<int>(to - from);
        if (from != to) m.first = static_cast<std::size_t>(from - responses.begin());
        out.push_back(m);
    }
    return out;
}

} // namespace sylvane::analysis
