#include "analysis/tonic_level.h"

#include <algorithm>
#include <cmath>

namespace sylvane::analysis {

TonicLevel::TonicLevel(double windowSeconds)
    : m_half(std::isfinite(windowSeconds) && windowSeconds > 0 ? windowSeconds / 2
                                                               : kWindowSeconds / 2) {}

void TonicLevel::add(double seconds, float g) {
    // Damaged times or values are taken as the last ones, so that the window stays in order.
    const double lastSeconds = m_readings.empty() ? 0 : m_readings.back().first;
    if (!std::isfinite(seconds) || seconds < lastSeconds) seconds = lastSeconds;
    if (!std::isfinite(g)) g = m_readings.empty() ? 0 : m_readings.back().second;
    m_readings.emplace_back(seconds, g);
    level(false);
}

void TonicLevel::finish() {
    level(true);
}

void TonicLevel::level(bool ending) {
    while (m_next < m_readings.size()) {
        const double centre = m_readings[m_next].first;
        // Its window is complete once a reading beyond it has come.
        if (!ending && m_readings.back().first <= centre + m_half) return;
        for (; m_in < m_readings.size() && m_readings[m_in].first <= centre + m_half; ++m_in) {
            const float g = m_readings[m_in].second;
            m_sorted.insert(std::upper_bound(m_sorted.begin(), m_sorted.end(), g), g);
        }
        while (m_readings.front().first < centre - m_half) {
            const float g = m_readings.front().second;
            m_sorted.erase(std::lower_bound(m_sorted.begin(), m_sorted.end(), g));
            m_readings.pop_front();
            --m_next;
            --m_in;
        }
        const std::size_t n = m_sorted.size();
        m_levels.push_back(n % 2 == 1 ? m_sorted[n / 2]
                                      : m_sorted[n / 2 - 1] / 2 + m_sorted[n / 2] / 2);
        ++m_next;
    }
}

} // namespace sylvane::analysis
