#include "display/trace_replay.h"

#include "storage/tst_reader.h"

namespace sylvane::display {

ReplayResult replayTrace(const std::filesystem::path& path, std::int64_t lastRecord,
                         std::int32_t readingsPerStep, const TraceStepper::Plot& plot) {
    ReplayResult result;
    storage::TstReader reader;
    if (!reader.open(path)) return result;
    TraceStepper stepper(readingsPerStep);
    bool ok = false;
    result.recordsRead = reader.read(
        1, lastRecord,
        [&](std::int64_t first, std::span<const std::int32_t> values) {
            stepper.feed(first, values, plot);
        },
        &ok);
    result.readOk = ok;
    result.stepsPlotted = stepper.stepsPlotted();
    result.openCount = stepper.openCount();
    result.openOhms = stepper.openOhms();
    return result;
}

} // namespace sylvane::display
