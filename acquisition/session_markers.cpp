#include "acquisition/session_markers.h"

#include "display/graph_math.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace sylvane::acquisition {

std::int32_t stepOfRecord(std::int64_t record, std::int32_t readingsPerStep) {
    const std::int64_t perStep = std::max<std::int32_t>(1, readingsPerStep);
    return static_cast<std::int32_t>(
        std::clamp<std::int64_t>((record + perStep - 1) / perStep, 1, INT32_MAX));
}

void drawMarkers(GraphCanvas& canvas, const std::vector<storage::Marker>& markers,
                 std::int32_t readingsPerStep, std::uint32_t color, std::size_t firstNumber) {
    const float width = canvas.scaleWidth();
    if (display::pictureTooSmall(width, canvas.scaleHeight())) return;
    for (std::size_t i = 0; i < markers.size(); ++i) {
        canvas.verticalMark(display::wrapX(stepOfRecord(markers[i].record, readingsPerStep), width),
                            std::to_string(firstNumber + i), color);
    }
}

SessionMarkers::SessionMarkers(SessionEngine& engine, std::filesystem::path folder)
    : m_engine(engine), m_folder(std::move(folder)) {
    m_engine.addFollower(this);
}

SessionMarkers::~SessionMarkers() {
    m_engine.removeFollower(this);
}

std::filesystem::path SessionMarkers::filePath() const {
    return m_folder / storage::kWorkingMrk;
}

storage::Marker SessionMarkers::at() const {
    storage::Marker marker;
    marker.record = std::max(1, m_engine.state().recordNumber - 1);
    marker.seconds = std::round(m_engine.secondsFromStart(m_engine.steadyNow()) * 1000.0) / 1000.0;
    return marker;
}

storage::Marker SessionMarkers::atLastReading() const {
    storage::Marker marker = at();
    if (m_engine.state().recordNumber > 1) marker.seconds = m_engine.lastReadingSeconds();
    return marker;
}

bool SessionMarkers::add(storage::Marker marker, std::string* error) {
    if (!append(storage::markerLine(marker), error)) return false;
    m_markers.push_back(std::move(marker));
    // Until the reference has latched there is no scale; the redraw that comes with the latch
    // draws it.
    const SessionState& s = m_engine.state();
    if (!s.awaitingStartValue && s.graphBaseADC != 0) {
        drawMarkers(m_engine.canvas(), {m_markers.back()}, s.readingsPerStep, kLiveMarkerColor,
                    m_markers.size());
    }
    if (added) added(m_markers.back());
    return true;
}

bool SessionMarkers::append(const std::string& line, std::string* error) {
    if (m_folder.empty()) {
        m_memory += line;
        return true;
    }
    const std::filesystem::path path = filePath();
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    int err = fd < 0 ? errno : 0;
    if (fd >= 0) {
        struct stat st {};
        const off_t before = ::fstat(fd, &st) == 0 ? st.st_size : -1;
        const ssize_t n = ::write(fd, line.data(), line.size());
        if (n != static_cast<ssize_t>(line.size())) {
            err = n < 0 ? errno : ENOSPC;
            // A marker is a whole line or nothing.
            if (before >= 0 && ::ftruncate(fd, before) != 0) err = errno;
        }
        if (::close(fd) != 0 && err == 0) err = errno;
    }
    if (err != 0 && error) *error = path.string() + ": " + std::strerror(err);
    return err == 0;
}

void SessionMarkers::clear() {
    m_markers.clear();
    m_memory.clear();
    if (!m_folder.empty()) {
        std::error_code ignored;
        std::filesystem::remove(filePath(), ignored);
    }
}

void SessionMarkers::sessionStarted(float) {
    clear();
}

void SessionMarkers::graphRedrawn(GraphCanvas& canvas, std::int32_t readingsPerStep) {
    drawMarkers(canvas, m_markers, readingsPerStep, kLiveMarkerColor);
}

} // namespace sylvane::acquisition
