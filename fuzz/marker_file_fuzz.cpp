// The marker side file (tempdata.mrk, name.Mrk) as any file can hold it: reading must never trap,
// must keep only markers within the session's records with a finite time, and must name every
// other non-blank line; every marker read writes back as a line that reads as the same marker.
// The first byte of the input chooses the session's length.

#include "storage/marker_file.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

void check(bool condition, const char* what) {
    if (condition) return;
    std::fprintf(stderr, "marker file: %s\n", what);
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace sylvane::storage;
    if (size == 0) return 0;
    // 0 and 1 records, a few hundred, or no limit.
    const std::int64_t lastRecord = data[0] == 0xFF ? -1 : data[0] * 3 / 2;
    const std::string_view bytes(reinterpret_cast<const char*>(data + 1), size - 1);
    const MarkerFile file = readMarkers(bytes, lastRecord);

    std::size_t lines = 0;
    for (const char c : bytes) lines += c == '\n';
    check(file.markers.size() + file.badLines.size() <= lines + 1, "more markers than lines");
    for (std::size_t i = 1; i < file.badLines.size(); ++i)
        check(file.badLines[i] > file.badLines[i - 1], "bad lines out of order");
    // The markers written back as a whole file, as the program writes it, read as the same markers.
    std::string written;
    for (const Marker& m : file.markers) {
        check(m.record >= 1 && (lastRecord < 0 || m.record <= lastRecord),
              "a marker outside the session's records");
        check(std::isfinite(m.seconds) && m.seconds >= 0, "a marker at an absurd time");
        written += markerLine(m);
    }
    const MarkerFile again = readMarkers(written, lastRecord);
    check(again.badLines.empty() && again.markers.size() == file.markers.size(),
          "the markers do not write back");
    for (std::size_t i = 0; i < file.markers.size(); ++i) {
        const Marker& m = file.markers[i];
        check(again.markers[i].record == m.record && again.markers[i].text == m.text,
              "a marker written back reads differently");
        check(std::fabs(again.markers[i].seconds - m.seconds) <= 0.0005 + m.seconds * 1e-12,
              "a marker's time changed by more than its written precision");
    }
    return 0;
}
