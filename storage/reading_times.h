#pragma once
// The reading times of a session (tempdata.tms, saved as name.Tms; see file_store.h): each
// record's milliseconds from Start, and what they tell of the session's cadence and its gaps.
// Shared by the exports and the saved-session display.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <span>
#include <string_view>
#include <vector>

namespace sylvane::storage {

// The times of the first `records` records (fewer when the file is shorter). A time before the
// one of the record before is damage: it is taken as that one, and *backwards set.
std::vector<std::uint32_t> readTimes(std::string_view bytes, std::size_t records,
                                     bool* backwards = nullptr);
// The same from a file; nothing when there is none.
std::vector<std::uint32_t> readTimesFile(const std::filesystem::path& path, std::size_t records);

struct Cadence {
    // The nominal interval between readings, in seconds: the median interval, then the mean of
    // the intervals near it, so that gaps do not count and the arrival's jitter averages out.
    double period = 0.5;
    // The longest stretch of readings without a gap, in seconds.
    double longestRun = 0;
};
// The cadence of the readings at these times; `sound` picks the records that hold a reading
// (all when empty).
Cadence cadenceOf(std::span<const std::uint32_t> times,
                  const std::function<bool(std::size_t)>& sound = {});

// A reading that comes more than one and a half nominal intervals after the one before follows
// a gap: at least one reading is missing.
inline bool followsGap(double interval, double period) {
    return interval > 1.5 * period;
}

// The records (from 1) that follow a gap.
std::vector<std::int64_t> recordsAfterGaps(std::span<const std::uint32_t> times);

} // namespace sylvane::storage
