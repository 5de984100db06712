#pragma once
// The markers of a saved session: name.Mrk beside its .Hdr, as Save copies tempdata.mrk. A saved
// session without one has no markers.

#include "storage/marker_file.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace sylvane::storage {

// The session's marker file: the .Hdr's name with the extension .Mrk in any letter case, .Mrk
// itself first; "" when there is none.
std::filesystem::path savedMarkerFile(const std::filesystem::path& hdr);

struct SavedMarkers {
    std::vector<Marker> markers;
    // One message naming the file and the lines that are not sound markers, or why it could
    // not be read at all; "" when every line was read.
    std::string problem;
};

// Reads the marker file of a saved session of lastRecord records (nothing when it has none).
SavedMarkers readSavedMarkers(const std::filesystem::path& hdr, std::int64_t lastRecord);

} // namespace sylvane::storage
