// A saved session's .Tst as any file can hold it, of any length, a multiple of 4 or not: the
// reader hands over exactly the whole records there are, in order, however they are read, and
// the replay onto the graph sums, skips and steps them without trapping, for any number of
// readings a step.
//
// The first byte picks the readings a step; the rest is the file.

#include "display/graph_math.h"
#include "display/trace_replay.h"
#include "storage/tst_reader.h"

#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

void check(bool condition, const char* what) {
    if (condition) return;
    std::fprintf(stderr, "saved session: %s\n", what);
    std::abort();
}

const fs::path& tstFile() {
    static const fs::path file = [] {
        const fs::path base =
            fs::exists("/dev/shm") ? fs::path("/dev/shm") : fs::temp_directory_path();
        return base / ("sylvane-fuzz-saved-" + std::to_string(::getpid()) + ".Tst");
    }();
    return file;
}

constexpr std::int32_t kReadingsPerStep[8] = {1, 2, 3, 7, 480, 65536, 0, -5};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::int32_t perStep = kReadingsPerStep[data[0] & 7];
    const std::uint8_t* file = data + 1;
    const std::size_t length = size - 1;
    {
        std::ofstream out(tstFile(), std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(file), static_cast<std::streamsize>(length));
    }
    std::vector<std::int32_t> expected(length / 4);
    for (std::size_t i = 0; i < expected.size(); ++i) {
        std::uint32_t u = 0;
        for (int k = 0; k < 4; ++k) u |= std::uint32_t{file[4 * i + k]} << (8 * k);
        expected[i] = static_cast<std::int32_t>(u);
    }

    sylvane::storage::TstReader reader;
    check(reader.open(tstFile()), "the file cannot be opened");
    check(reader.recordCount() == static_cast<std::int64_t>(expected.size()),
          "the record count is not the whole records in the file");

    // All of it, then a window of it, as the redraws and the display ask.
    std::vector<std::int32_t> got;
    bool ok = false;
    const std::int64_t handed = reader.read(
        1, sylvane::display::kAllRecords,
        [&](std::int64_t first, std::span<const std::int32_t> values) {
            check(first == static_cast<std::int64_t>(got.size()) + 1, "blocks out of order");
            got.insert(got.end(), values.begin(), values.end());
        },
        &ok);
    check(ok && handed == static_cast<std::int64_t>(expected.size()) && got == expected,
          "the records read are not the records in the file");
    const std::int64_t from = length > 8 ? file[0] % 5 : 1;
    const std::int64_t to = length > 8 ? from + file[1] % 7 : 3;
    std::int64_t windowed = 0;
    reader.read(from, to, [&](std::int64_t first, std::span<const std::int32_t> values) {
        for (std::size_t i = 0; i < values.size(); ++i) {
            const std::int64_t n = first + static_cast<std::int64_t>(i);
            check(n >= std::max<std::int64_t>(1, from) && n <= to, "a record outside the range");
            check(values[i] == expected[static_cast<std::size_t>(n - 1)], "a record misread");
            ++windowed;
        }
    });
    const std::int64_t inRange = std::max<std::int64_t>(
        0, std::min<std::int64_t>(to, static_cast<std::int64_t>(expected.size())) -
               std::max<std::int64_t>(1, from) + 1);
    check(windowed == inRange, "a range of records came back short or long");

    // The replay: a step for every readingsPerStep records; records below 1 count for nothing.
    std::int64_t steps = 0;
    std::int32_t lastStep = 0;
    const auto replay = sylvane::display::replayTrace(
        tstFile(), sylvane::display::kAllRecords, perStep, [&](std::int32_t step, float ohms) {
            check(step > lastStep, "steps out of order");
            check(!std::isnan(ohms), "a step without a resistance");
            lastStep = step;
            ++steps;
        });
    check(replay.readOk && replay.recordsRead == static_cast<std::int64_t>(expected.size()),
          "the replay did not read the whole file");
    check(replay.stepsPlotted == steps, "steps counted wrong");
    const std::int64_t per = perStep < 1 ? 1 : perStep;
    check(steps <= static_cast<std::int64_t>(expected.size()) / per, "more steps than records");
    return 0;
}
