#include "storage/saved_markers.h"

#include <algorithm>
#include <cctype>
#include <fstream>
#include <iterator>

namespace sylvane::storage {

namespace fs = std::filesystem;

namespace {
bool isMarkerExtension(const std::string& extension) {
    std::string lower = extension;
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return lower == ".mrk";
}
} // namespace

fs::path savedMarkerFile(const fs::path& hdr) {
    fs::path exact = hdr;
    exact.replace_extension(kSavedMrkExtension);
    std::error_code ec;
    if (fs::is_regular_file(exact, ec)) return exact;
    const fs::path folder = hdr.has_parent_path() ? hdr.parent_path() : fs::path(".");
    fs::path found;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const fs::path& p = it->path();
        if (p.stem() == hdr.stem() && isMarkerExtension(p.extension().string()) &&
            (found.empty() || p < found))
            found = p;
    }
    return found;
}

SavedMarkers readSavedMarkers(const fs::path& hdr, std::int64_t lastRecord) {
    SavedMarkers out;
    const fs::path path = savedMarkerFile(hdr);
    if (path.empty()) return out;
    std::ifstream in(path, std::ios::binary);
    const std::string bytes{std::istreambuf_iterator<char>(in), {}};
    if (!in.is_open() || in.bad()) {
        out.problem = "The markers could not be read: " + path.string();
        return out;
    }
    MarkerFile file = readMarkers(bytes, lastRecord);
    out.markers = std::move(file.markers);
    if (!file.badLines.empty()) {
        std::string lines;
        const std::size_t shown = std::min<std::size_t>(file.badLines.size(), 10);
        for (std::size_t i = 0; i < shown; ++i)
            lines += (i ? ", " : "") + std::to_string(file.badLines[i]);
        if (shown < file.badLines.size())
            lines += " and " + std::to_string(file.badLines.size() - shown) + " more";
        out.problem = "Some markers could not be read: " + path.string() + "\r\nLine" +
                      (file.badLines.size() > 1 ? "s " : " ") + lines +
                      " not drawn; the other markers are.";
    }
    return out;
}

} // namespace sylvane::storage
