#pragma once
// Replays the records of a .tst file onto the graph in steps (see TraceStepper), reading the file
// in large blocks: the cost of a redraw is one sequential read of the session and memory stays
// the same whatever its length.

#include "display/graph_math.h"

#include <cstdint>
#include <filesystem>
#include <limits>

namespace sylvane::display {

struct ReplayResult {
    bool readOk = false;
    std::int64_t recordsRead = 0;
    std::int64_t stepsPlotted = 0;
    // The step left open at the end: its records and the sum of their resistances.
    std::int32_t openCount = 0;
    float openOhms = 0;
};

inline constexpr std::int64_t kAllRecords = std::numeric_limits<std::int64_t>::max();

// Replays records 1..lastRecord (those that exist) of the file at path.
ReplayResult replayTrace(const std::filesystem::path& path, std::int64_t lastRecord,
                         std::int32_t readingsPerStep, const TraceStepper::Plot& plot);

} // namespace sylvane::display
