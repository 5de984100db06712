#include "acquisition/response_counter.h"

namespace sylvane::acquisition {

void ResponseCounter::setThreshold(double microsiemens) {
    m_detector = analysis::ResponseDetector(microsiemens);
}

void ResponseCounter::sessionStarted(float) {
    m_detector.reset();
    if (shown) shown(0);
}

void ResponseCounter::readingRecorded(std::int32_t recordNumber, std::int32_t value,
                                      double seconds) {
    const auto g = analysis::conductanceOfAdc(value);
    if (g && m_detector.add(recordNumber, seconds, *g) && shown) shown(m_detector.count());
}

void ResponseCounter::sessionStopped() {
    if (m_detector.finish() && shown) shown(m_detector.count());
}

} // namespace sylvane::acquisition
