#pragma once
// The session's times: the side file tempdata.tim beside the working files, copied by Save as
// name.Tim. Start writes its first line, Stop adds the second; lines end CR LF:
//
//     start,2024-05-01T10:00:00.250+02:00
//     readings,3600,2.500,1801.000
//
// the local date and time of Start with its offset from UTC, then the readings recorded and the
// seconds from Start to the first and to the last of them. File > Save session adds a line to
// the working file once it has copied the session (the saved copy has none):
//
//     saved,2024-05-01T10:45:12.031+02:00
//
// so that the next program start and the next Start know the session is kept. The exports take
// the session's start from it. A session without this file has its working and saved files
// exactly as before.

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sylvane::storage {

inline constexpr const char* kWorkingTim = "tempdata.tim";
inline constexpr const char* kSavedTimExtension = ".Tim";

// A local date and time to the millisecond, with its offset from UTC.
struct LocalTime {
    int year = 1985;
    int month = 1;
    int day = 1;
    int hour = 0;
    int minute = 0;
    int second = 0;
    int millisecond = 0;
    int utcOffsetMinutes = 0;
    bool operator==(const LocalTime&) const = default;

    // Milliseconds since 1970-01-01 UTC.
    std::int64_t utcMilliseconds() const;
    // The same clock reading moved by seconds (the offset kept).
    LocalTime plus(double seconds) const;
    // 2024-05-01T10:00:00.250+02:00
    std::string iso() const;
};

// The local time of a moment, in this machine's time zone.
LocalTime localTimeOf(std::chrono::system_clock::time_point moment);

struct SessionTimes {
    std::optional<LocalTime> start;
    // From the readings line; readings < 0 when there is none (the session was not stopped).
    std::int64_t readings = -1;
    double firstSeconds = 0;
    double lastSeconds = 0;
    // When File > Save session last copied the session.
    std::optional<LocalTime> saved;
    // Line numbers (1-based) of lines that were not understood.
    std::vector<int> badLines;
};

std::string startLine(const LocalTime& start);
std::string savedLine(const LocalTime& when);
std::string readingsLine(std::int64_t readings, double firstSeconds, double lastSeconds);
SessionTimes readSessionTimes(std::string_view bytes);

// Writes bytes to path through a temporary file beside it, so that the file is either the old
// one or the new one. False with *error naming the file (after `what` it is, if given) and the
// reason.
bool replaceFile(const std::filesystem::path& path, std::string_view bytes,
                 std::string* error = nullptr, std::string_view what = {});

} // namespace sylvane::storage
