#include "acquisition/response_detector.h"

#include "platform/number_rules.h"

#include <cmath>

namespace sylvane::acquisition {

std::optional<float> conductanceOfAdc(std::int32_t adc) {
    if (adc < 1 || adc > 4094) return std::nullopt;
    return static_cast<float>(1000000.0 / static_cast<double>(platform::resistanceOfAdc(adc)));
}

ResponseDetector::ResponseDetector(double threshold)
    : m_threshold(std::isfinite(threshold) && threshold > 0 ? threshold : kDefaultThreshold) {}

void ResponseDetector::reset() {
    m_seenFirst = false;
    m_rising = false;
    m_recent.clear();
    m_lows.clear();
    m_onsets.clear();
}

bool ResponseDetector::confirm() {
    m_rising = false;
    // A rise from the session's first reading is the contact settling.
    if (m_settling || m_peak.seconds - m_onset.seconds < kMinRise) return false;
    m_onsets.push_back({m_onset.record, m_onset.seconds, m_peak.g - m_onset.g});
    return true;
}

bool ResponseDetector::add(std::int64_t record, double seconds, double g) {
    const Point p{record, seconds, g, !m_seenFirst};
    m_seenFirst = true;
    if (m_rising) {
        if (g > m_peak.g) m_peak = p;
        // A fall, or a level held for as long as a rise may take, ends the rise.
        if (g > m_peak.g - m_threshold / 5 && seconds - m_peak.seconds < kMaxRise) return false;
        const bool counted = confirm();
        // The next rise starts from the fall after this peak.
        m_recent.assign(1, p);
        m_lows.assign(1, p);
        return counted;
    }
    m_recent.push_back(p);
    while (m_recent.front().seconds < seconds - kMaxRise) m_recent.pop_front();
    while (!m_lows.empty() && m_lows.back().g >= g) m_lows.pop_back();
    m_lows.push_back(p);
    while (m_lows.front().seconds < seconds - kMaxRise) m_lows.pop_front();
    const double low = m_lows.front().g;
    if (g - low >= m_threshold) {
        m_rising = true;
        m_settling = m_lows.front().first;
        m_onset = m_lows.front();
        for (auto it = m_recent.rbegin(); it != m_recent.rend(); ++it) {
            if (it->g <= low + m_threshold / 10) {
                m_onset = *it;
                break;
            }
        }
        m_peak = p;
    }
    return false;
}

bool ResponseDetector::finish() {
    return m_rising && confirm();
}

void ResponseCounter::setThreshold(double microsiemens) {
    m_detector = ResponseDetector(microsiemens);
}

void ResponseCounter::sessionStarted(float) {
    m_detector.reset();
    if (shown) shown(0);
}

void ResponseCounter::readingRecorded(std::int32_t recordNumber, std::int32_t value,
                                      double seconds) {
    const auto g = conductanceOfAdc(value);
    if (g && m_detector.add(recordNumber, seconds, *g) && shown) shown(m_detector.count());
}

void ResponseCounter::sessionStopped() {
    if (m_detector.finish() && shown) shown(m_detector.count());
}

} // namespace sylvane::acquisition
