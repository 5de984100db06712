// A saved session as any pair of files can hold it: a .Tst of any length, a multiple of 4 or
// not, and any .Hdr. The reader hands over exactly the whole records there are, in order,
// however they are read; the replay sums, skips and steps them for any number of readings a
// step; and the saved-session display either draws the session on an upright common scale or
// leaves it out with a message, never traps.
//
// The first byte picks the readings a step, the second the length of the .Hdr that follows;
// the rest is the .Tst.

#include "display/graph_math.h"
#include "display/trace_replay.h"
#include "storage/saved_sessions.h"
#include "storage/tst_reader.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

void check(bool condition, const char* what) {
    if (condition) return;
    std::fprintf(stderr, "saved session: %s\n", what);
    std::abort();
}

fs::path sessionFile(const char* extension) {
    static const fs::path base =
        fs::exists("/dev/shm") ? fs::path("/dev/shm") : fs::temp_directory_path();
    return base / ("sylvane-fuzz-saved-" + std::to_string(::getpid()) + extension);
}

const fs::path& tstFile() {
    static const fs::path file = sessionFile(".Tst");
    return file;
}

const fs::path& hdrFile() {
    static const fs::path file = sessionFile(".Hdr");
    return file;
}

// The two files are created once, on a memory file system where there is one, and rewritten in
// place for every input: two system calls each.
void writeFile(const fs::path& path, const std::uint8_t* bytes, std::size_t length) {
    static std::map<fs::path, int> open;
    int& fd = open[path];
    if (fd <= 0) fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    check(fd > 0 && ::ftruncate(fd, 0) == 0 &&
              ::pwrite(fd, bytes, length, 0) == static_cast<ssize_t>(length),
          "the session files cannot be written");
}

constexpr std::int32_t kReadingsPerStep[8] = {1, 2, 3, 7, 480, 65536, 0, -5};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    const std::int32_t perStep = kReadingsPerStep[data[0] & 7];
    const std::size_t hdrLength = std::min<std::size_t>(data[1], size - 2);
    writeFile(hdrFile(), data + 2, hdrLength);
    const std::uint8_t* file = data + 2 + hdrLength;
    const std::size_t length = size - 2 - hdrLength;
    writeFile(tstFile(), file, length);
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

    // The display: drawn on one upright scale, or left out with a message naming it.
    const sylvane::storage::SessionChoice chosen[] = {{tstFile(), hdrFile()}};
    const auto plan = sylvane::storage::planSavedDisplay(chosen);
    check(plan.sessions.size() + plan.problems.size() == 1,
          "the session neither drawn nor refused");
    if (plan.sessions.empty()) {
        check(plan.problems[0].find("is not displayed") != std::string::npos,
              "a refusal that does not say so");
        return 0;
    }
    check(plan.longestBytes == static_cast<std::int64_t>(length), "the length of the readings");
    constexpr float kWidth = 1200;
    constexpr float kHeight = 500;
    const auto scale =
        sylvane::storage::commonScale(plan.minADC, plan.maxADC, plan.longestBytes, kWidth, kHeight);
    check(scale.readingsPerStep >= 1, "fewer than one reading a step");
    check(!(scale.bottomOhms < scale.topOhms), "the scale is upside down");
    const auto texts = sylvane::display::axisLabelTexts(scale.bottomOhms, scale.topOhms, kWidth,
                                                        scale.readingsPerStep, false);
    for (const std::string& text : texts) check(!text.empty(), "an empty axis label");
    std::int64_t drawn = 0;
    sylvane::display::replayTrace(tstFile(), sylvane::display::kAllRecords, scale.readingsPerStep,
                                  [&](std::int32_t step, float ohms) {
                                      sylvane::display::plotY(ohms, scale.bottomOhms, scale.yScale,
                                                              kHeight);
                                      const std::int32_t x = sylvane::display::wrapX(step, kWidth);
                                      check(x >= 0 && x < kWidth, "a step off the picture");
                                      ++drawn;
                                  });
    // The longest session just fits the width.
    check(drawn < static_cast<std::int64_t>(kWidth), "the trace is wider than the picture");
    return 0;
}
