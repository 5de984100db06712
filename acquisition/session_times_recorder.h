#pragma once
// Keeps the session's times in the side file tempdata.tim beside the working files
// (storage/session_times.h): the local date and time at Start, and at Stop the readings recorded
// with the seconds from Start to the first and the last of them (each reading's own time is in
// tempdata.tms, written with its record). Working files in memory keep the side file in memory
// only (bytes()).

#include "acquisition/session_engine.h"
#include "storage/session_times.h"

#include <chrono>
#include <functional>
#include <string>

namespace sylvane::storage {
class WorkingFiles;
}

namespace sylvane::acquisition {

class SessionTimesRecorder final : public ReadingFollower {
public:
    // now: the wall clock at Start; empty: the system's.
    explicit SessionTimesRecorder(storage::WorkingFiles& files,
                                  std::function<std::chrono::system_clock::time_point()> now = {});

    void sessionStarted(float startClock) override;
    void readingRecorded(std::int32_t recordNumber, std::int32_t value, double seconds) override;
    void sessionStopped() override;

    const std::string& bytes() const { return m_bytes; }

private:
    void write();

    storage::WorkingFiles& m_files;
    std::function<std::chrono::system_clock::time_point()> m_now;
    bool m_started = false;
    std::int64_t m_readings = 0;
    double m_first = 0;
    double m_last = 0;
    std::string m_bytes;
};

} // namespace sylvane::acquisition
