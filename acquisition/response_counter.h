#pragma once
// The live count of a session's skin conductance responses (analysis/response_detector.h), fed
// by the session engine with the readings' recorded times, the times the exports read back;
// shown() is told each new count.

#include "acquisition/session_engine.h"
#include "analysis/response_detector.h"

#include <functional>

namespace sylvane::acquisition {

class ResponseCounter final : public ReadingFollower {
public:
    void setThreshold(double microsiemens);
    void sessionStarted(float startClock) override;
    void readingRecorded(std::int32_t recordNumber, std::int32_t value, double seconds) override;
    void sessionStopped() override;
    int count() const { return m_detector.count(); }
    const analysis::ResponseDetector& detector() const { return m_detector; }
    std::function<void(int count)> shown;

private:
    analysis::ResponseDetector m_detector;
};

} // namespace sylvane::acquisition
