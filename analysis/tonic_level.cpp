#include "analysis/tonic_level.h"

#include <algorithm>
#include <cmath>

namespace sylvane::analysis {

TonicLevel::TonicLevel(std::span<const Response> responses, double windowSeconds)
    : m_responses(responses),
      m_half(std::isfinite(windowSeconds) && windowSeconds > 0 ? windowSeconds / 2
                                                               : kWindowSeconds / 2) {}

void TonicLevel::add(std::int64_t record, double seconds, float g) {
    // Damaged times or values are taken as the last ones, so that the readings stay in order.
    const bool first = m_waiting.empty() && m_samples.empty() && m_levels.empty();
    if (!std::isfinite(seconds) || (!first && seconds < m_lastSeconds))
        seconds = first ? 0 : m_lastSeconds;
    if (!std::isfinite(g)) g = first ? 0 : m_fromG;
    m_lastSeconds = seconds;

    if (m_inResponse) {
        // The next response begins: its onset is where the line ends when the last one had come
        // half way back; one that begins before that joins the last, the line going on under
        // the tail it leaves to where the later one is over.
        bool next = m_response + 1 < m_responses.size() &&
                    record >= m_responses[m_response + 1].onsetRecord;
        if (next && !m_responses[m_response].halfRecoverySeconds) {
            ++m_response;
            next = false;
        }
        const Response& r = m_responses[m_response];
        const bool over = r.halfRecoverySeconds &&
                          seconds >= r.peakSeconds + kHalfRecoveries * *r.halfRecoverySeconds;
        if (!over && !next && seconds - m_fromSeconds <= kLongestResponse) {
            m_underResponse.push_back(seconds);
            return;
        }
        // The line from the onset to here stands for the readings under the responses.
        const double span = seconds - m_fromSeconds;
        for (const double t : m_underResponse) {
            const double part = span > 0 ? (t - m_fromSeconds) / span : 0;
            withoutResponses(t, static_cast<float>(m_fromG + part * (g - m_fromG)));
        }
        m_underResponse.clear();
        m_inResponse = false;
        ++m_response;
    }
    while (m_response < m_responses.size() && m_responses[m_response].onsetRecord < record)
        ++m_response;
    if (m_response < m_responses.size() && m_responses[m_response].onsetRecord == record) {
        m_inResponse = true;
        m_fromSeconds = seconds;
        m_fromG = g;
    } else {
        m_fromG = g;
    }
    withoutResponses(seconds, g);
}

void TonicLevel::finish() {
    // A response under way at the end: its onset's level to the end.
    for (const double t : m_underResponse) withoutResponses(t, m_fromG);
    m_underResponse.clear();
    m_inResponse = false;
    level(true);
}

void TonicLevel::withoutResponses(double seconds, float g) {
    m_waiting.push_back(seconds);
    if (m_samples.empty() || seconds >= m_samples.back().first + kSampleSeconds)
        m_samples.emplace_back(seconds, g);
    level(false);
}

void TonicLevel::level(bool ending) {
    // The samples' levels, once their window is complete.
    while (m_nextSample < m_samples.size()) {
        const double centre = m_samples[m_nextSample].first;
        if (!ending && m_samples.back().first <= centre + m_half) break;
        for (; m_inWindow < m_samples.size() && m_samples[m_inWindow].first <= centre + m_half;
             ++m_inWindow) {
            const float g = m_samples[m_inWindow].second;
            m_sorted.insert(std::upper_bound(m_sorted.begin(), m_sorted.end(), g), g);
        }
        while (m_samples.front().first < centre - m_half) {
            const float g = m_samples.front().second;
            m_sorted.erase(std::lower_bound(m_sorted.begin(), m_sorted.end(), g));
            m_samples.pop_front();
            --m_nextSample;
            --m_inWindow;
        }
        const std::size_t n = m_sorted.size();
        m_sampleLevels.emplace_back(
            centre, n % 2 == 1 ? m_sorted[n / 2] : m_sorted[n / 2 - 1] / 2 + m_sorted[n / 2] / 2);
        ++m_nextSample;
    }
    // The readings' levels: between the samples' on either side.
    while (!m_waiting.empty() && !m_sampleLevels.empty()) {
        const double t = m_waiting.front();
        while (m_sampleLevels.size() > 1 && m_sampleLevels[1].first <= t)
            m_sampleLevels.pop_front();
        const auto& [t0, g0] = m_sampleLevels.front();
        float level = g0;
        if (m_sampleLevels.size() > 1) {
            const auto& [t1, g1] = m_sampleLevels[1];
            if (t > t0 && t1 > t0)
                level = static_cast<float>(g0 + (g1 - g0) * ((t - t0) / (t1 - t0)));
        } else if (t > t0 && !ending) {
            break; // the next sample's level is not known yet
        }
        m_levels.push_back(level);
        m_waiting.pop_front();
    }
}

} // namespace sylvane::analysis
