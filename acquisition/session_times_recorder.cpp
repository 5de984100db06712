#include "acquisition/session_times_recorder.h"

#include "storage/working_files.h"

namespace sylvane::acquisition {

SessionTimesRecorder::SessionTimesRecorder(
    storage::WorkingFiles& files, std::function<std::chrono::system_clock::time_point()> now)
    : m_files(files), m_now(std::move(now)) {
    if (!m_now) m_now = [] { return std::chrono::system_clock::now(); };
}

void SessionTimesRecorder::sessionStarted(float) {
    m_started = true;
    m_readings = 0;
    m_bytes = storage::startLine(storage::localTimeOf(m_now()));
    write();
}

void SessionTimesRecorder::readingRecorded(std::int32_t, std::int32_t, double seconds) {
    if (m_readings++ == 0) m_first = seconds;
    m_last = seconds;
}

void SessionTimesRecorder::sessionStopped() {
    if (!m_started) return;
    m_started = false;
    m_bytes += storage::readingsLine(m_readings, m_first, m_last);
    write();
}

void SessionTimesRecorder::write() {
    // The times only refine the exports (which estimate them when missing), so a disk that
    // refuses them must not disturb the session.
    const auto folder = m_files.folder();
    if (!folder.empty()) storage::replaceFile(folder / storage::kWorkingTim, m_bytes);
}

} // namespace sylvane::acquisition
