#pragma once
// Event markers of a session: the side file tempdata.mrk beside the working files, copied by Save
// as name.Mrk. One line a marker, CR LF ended: the record number it stands at, the seconds since
// the session's start, and its text in double quotes, comma separated:
//
//     12,6.000,"stimulus"
//
// The text is stored as the session header stores its comments: as it is when it holds no double
// quote or line break, otherwise in the escaped form that reads back exactly (session_header.h).
// A session without markers has no side file, and its other files are untouched by them.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace sylvane::storage {

inline constexpr const char* kWorkingMrk = "tempdata.mrk";
inline constexpr const char* kSavedMrkExtension = ".Mrk";
// No session runs for longer: a time past it is not a marker's (ten years in seconds).
inline constexpr double kLongestMarkerTime = 315360000.0;

struct Marker {
    std::int32_t record = 0;
    double seconds = 0;
    std::string text;
    bool operator==(const Marker&) const = default;
};

// One marker's line.
std::string markerLine(const Marker& marker);

struct MarkerFile {
    // The sound markers, in file order.
    std::vector<Marker> markers;
    // Line numbers (1-based) of lines that are not a sound marker: cut, malformed, a record
    // number below 1 or above lastRecord, a time that is not a number of seconds from 0 to ten
    // years.
    std::vector<int> badLines;
};

// Reads the markers of a session of lastRecord records; a negative lastRecord accepts any record
// number from 1 up.
MarkerFile readMarkers(std::string_view bytes, std::int64_t lastRecord = -1);

} // namespace sylvane::storage
