#include "storage/reading_times.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <string>

namespace sylvane::storage {

std::vector<std::uint32_t> readTimes(std::string_view bytes, std::size_t records, bool* backwards) {
    std::vector<std::uint32_t> times(std::min(records, bytes.size() / 4));
    if (backwards) *backwards = false;
    for (std::size_t i = 0; i < times.size(); ++i) {
        const auto* b = reinterpret_cast<const unsigned char*>(bytes.data() + 4 * i);
        const std::uint32_t ms = std::uint32_t{b[0]} | std::uint32_t{b[1]} << 8 |
                                 std::uint32_t{b[2]} << 16 | std::uint32_t{b[3]} << 24;
        if (i > 0 && ms < times[i - 1]) {
            if (backwards) *backwards = true;
            times[i] = times[i - 1];
        } else {
            times[i] = ms;
        }
    }
    return times;
}

std::vector<std::uint32_t> readTimesFile(const std::filesystem::path& path, std::size_t records) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return {};
    return readTimes(std::string{std::istreambuf_iterator<char>(in), {}}, records);
}

Cadence cadenceOf(std::span<const std::uint32_t> times,
                  const std::function<bool(std::size_t)>& sound) {
    std::vector<std::uint32_t> intervals;
    std::size_t previous = times.size();
    for (std::size_t i = 0; i < times.size(); ++i) {
        if (sound && !sound(i)) continue;
        if (previous < times.size() && times[i] > times[previous])
            intervals.push_back(times[i] - times[previous]);
        previous = i;
    }
    Cadence c;
    if (intervals.empty()) return c;
    std::vector<std::uint32_t> sorted = intervals;
    const auto middle = sorted.begin() + static_cast<std::ptrdiff_t>(sorted.size() / 2);
    std::nth_element(sorted.begin(), middle, sorted.end());
    const double median = *middle;
    double sum = 0;
    std::int64_t count = 0;
    double run = 0;
    for (const std::uint32_t d : intervals) {
        if (d < 0.5 * median || followsGap(d, median)) {
            run = 0;
            continue;
        }
        sum += d;
        ++count;
        run += d / 1000.0;
        c.longestRun = std::max(c.longestRun, run);
    }
    c.period = sum / static_cast<double>(count) / 1000.0;
    return c;
}

std::vector<std::int64_t> recordsAfterGaps(std::span<const std::uint32_t> times) {
    const double period = cadenceOf(times).period;
    std::vector<std::int64_t> after;
    for (std::size_t i = 1; i < times.size(); ++i) {
        if (followsGap((times[i] - times[i - 1]) / 1000.0, period))
            after.push_back(static_cast<std::int64_t>(i) + 1);
    }
    return after;
}

} // namespace sylvane::storage
