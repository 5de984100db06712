#include "analysis/response_detector.h"

#include "platform/number_rules.h"

#include <algorithm>
#include <cmath>

namespace sylvane::analysis {

std::optional<float> conductanceOfAdc(std::int32_t adc) {
    if (adc < 1 || adc > 4094) return std::nullopt;
    return static_cast<float>(1000000.0 / static_cast<double>(platform::resistanceOfAdc(adc)));
}

namespace {

struct Vertex {
    double seconds;
    double g;
};

// The top of the cubic fitted (least squares) to readings [from, to], the highest of them at
// `highest`; that reading itself when the cubic has no top between the first and the last of
// them. A cubic rather than a parabola follows the skew of a response's top (a quicker rise than
// fall); through four readings it passes through each.
template <typename Points>
Vertex fittedTop(const Points& points, std::size_t from, std::size_t to, std::size_t highest) {
    const double t0 = points[highest].seconds;
    const double g0 = points[highest].g;
    const Vertex highestReading{t0, g0};
    if (to - from < 3) return highestReading;
    // The normal equations of g - g0 = c0 + c1 x + c2 x^2 + c3 x^3, x = t - t0.
    double m[4][5] = {};
    for (std::size_t i = from; i <= to; ++i) {
        const double x = points[i].seconds - t0;
        const double y = points[i].g - g0;
        const double xs[4] = {1, x, x * x, x * x * x};
        for (int r = 0; r < 4; ++r) {
            for (int c = 0; c < 4; ++c) m[r][c] += xs[r] * xs[c];
            m[r][4] += xs[r] * y;
        }
    }
    for (int c = 0; c < 4; ++c) {
        int pivot = c;
        for (int r = c + 1; r < 4; ++r)
            if (std::fabs(m[r][c]) > std::fabs(m[pivot][c])) pivot = r;
        if (!(std::fabs(m[pivot][c]) > 1e-12)) return highestReading;
        std::swap(m[c], m[pivot]);
        for (int r = 0; r < 4; ++r) {
            if (r == c) continue;
            const double f = m[r][c] / m[c][c];
            for (int k = c; k < 5; ++k) m[r][k] -= f * m[c][k];
        }
    }
    double k[4];
    for (int r = 0; r < 4; ++r) k[r] = m[r][4] / m[r][r];
    const auto at = [&](double x) { return k[0] + x * (k[1] + x * (k[2] + x * k[3])); };
    // Where the slope k1 + 2 k2 x + 3 k3 x^2 is 0 going down.
    const double lo = points[from].seconds - t0;
    const double hi = points[to].seconds - t0;
    std::optional<double> top;
    const auto consider = [&](double x) {
        if (std::isfinite(x) && x > lo && x < hi && 2 * k[2] + 6 * k[3] * x < 0 &&
            (!top || at(x) > at(*top)))
            top = x;
    };
    if (std::fabs(k[3]) < 1e-12 * (std::fabs(k[2]) + std::fabs(k[1]) + 1e-300)) {
        if (k[2] != 0) consider(-k[1] / (2 * k[2]));
    } else {
        const double disc = 4 * k[2] * k[2] - 12 * k[3] * k[1];
        if (disc >= 0) {
            const double root = std::sqrt(disc);
            consider((-2 * k[2] + root) / (6 * k[3]));
            consider((-2 * k[2] - root) / (6 * k[3]));
        }
    }
    if (!top || !std::isfinite(at(*top))) return highestReading;
    return {t0 + *top, g0 + at(*top)};
}

} // namespace

ResponseDetector::ResponseDetector(double threshold)
    : m_threshold(std::isfinite(threshold) && threshold > 0 ? threshold : kDefaultThreshold) {}

void ResponseDetector::reset() {
    m_seenFirst = false;
    m_rising = false;
    m_recovering = false;
    m_rise.clear();
    m_recent.clear();
    m_lows.clear();
    m_responses.clear();
}

std::size_t ResponseDetector::onsetOfRise() const {
    // From the reading that came to the threshold, back down the rise to its foot: the first
    // reading that is less than a tenth of the threshold above the one half a second before it
    // (the reading before it when they are further apart). A trough, where the conductance fell
    // before it rose, stops the walk as well; a reading that noise put a little below its
    // neighbour on the way up does not.
    auto i = m_recent.size() - 1;
    while (i > 0) {
        const double seconds = m_recent[i].seconds;
        auto before = i - 1;
        while (before > 0 && seconds - m_recent[before].seconds < kFootSpan) --before;
        if (m_recent[i].g - m_recent[before].g < m_threshold / 10) break;
        --i;
    }
    // A foot that already stands clearly above the reading before it (the rise began between
    // them) is that reading's.
    if (i > 0 && m_recent[i].g - m_recent[i - 1].g >= m_threshold / 50) --i;
    return i;
}

bool ResponseDetector::confirm() {
    m_rising = false;
    // The top: a cubic through the readings around the highest one that stand within a fifth of
    // the rise of it (four at least, its neighbours added), so that a broad top is found among
    // the noise as well as a sharp one between two readings.
    std::size_t highest = m_rise.size() - 1;
    while (highest > 0 && m_rise[highest].record != m_peak.record) --highest;
    const double level = m_peak.g - (m_peak.g - m_onset.g) / 5;
    std::size_t from = highest;
    while (from > 0 && m_rise[from - 1].g >= level) --from;
    std::size_t to = highest;
    while (to + 1 < m_rise.size() && m_rise[to + 1].g >= level) ++to;
    while (to - from < 3 && (from > 0 || to + 1 < m_rise.size())) {
        if (from > 0 && (highest - from <= to - highest || to + 1 == m_rise.size()))
            --from;
        else
            ++to;
    }
    const Vertex top = fittedTop(m_rise, from, to, highest);

    // The onset between readings: where the first step of the rise, extended back, leaves the
    // onset's level (no earlier than the onset's reading, no later than the next one).
    double onsetSeconds = m_onset.seconds;
    if (m_rise.size() >= 3 && m_rise[0].record == m_onset.record) {
        const Point& a = m_rise[1];
        const Point& b = m_rise[2];
        if (b.g > a.g && b.seconds > a.seconds) {
            const double back = (a.g - m_onset.g) * (b.seconds - a.seconds) / (b.g - a.g);
            onsetSeconds = std::clamp(a.seconds - back, m_onset.seconds, a.seconds);
        }
    }

    const double amplitude = top.g - m_onset.g;
    // A rise from the session's first reading is the contact settling; a faster one the probe
    // moving; a smaller one a drift that the lowest reading of the last seconds made look big.
    if (m_settling || top.seconds - onsetSeconds < kMinRise || amplitude < m_threshold)
        return false;
    m_responses.push_back({m_onset.record, onsetSeconds, m_onset.g, top.seconds, top.g, {}});
    m_recovering = true;
    m_halfLevel = top.g - amplitude / 2;
    m_aboveSeconds = top.seconds;
    m_aboveG = top.g;
    for (std::size_t i = highest + 1; i < m_rise.size() && m_recovering; ++i)
        if (m_rise[i].seconds > top.seconds) recover(m_rise[i]);
    return true;
}

void ResponseDetector::recover(const Point& p) {
    if (p.g > m_halfLevel) {
        m_aboveSeconds = p.seconds;
        m_aboveG = p.g;
        return;
    }
    const double part = (m_aboveG - m_halfLevel) / (m_aboveG - p.g);
    const double at = m_aboveSeconds + part * (p.seconds - m_aboveSeconds);
    m_responses.back().halfRecoverySeconds = at - m_responses.back().peakSeconds;
    m_recovering = false;
}

bool ResponseDetector::add(std::int64_t record, double seconds, double g) {
    // Damaged times or values are taken as the last ones, so that the readings stay in order.
    if (!std::isfinite(seconds) || (m_seenFirst && seconds < m_previous.seconds))
        seconds = m_seenFirst ? m_previous.seconds : 0;
    if (!std::isfinite(g)) {
        if (!m_seenFirst) return false;
        g = m_previous.g;
    }
    const Point p{record, seconds, g, !m_seenFirst};
    m_seenFirst = true;
    m_previous = p;
    if (m_rising) {
        m_rise.push_back(p);
        if (g > m_peak.g) {
            m_peak = p;
            // A top is fitted to the seconds around the highest reading only.
            while (m_rise.front().seconds < seconds - kMaxRise) m_rise.pop_front();
        }
        // A fall of a fifth of the rise, or a level held for as long as a rise may take, ends
        // the rise.
        if (g > m_peak.g - (m_peak.g - m_onset.g) / 5 && seconds - m_peak.seconds < kMaxRise)
            return false;
        const bool counted = confirm();
        // The next rise starts from the fall after this peak.
        m_rise.clear();
        m_recent.assign(1, p);
        m_lows.assign(1, p);
        return counted;
    }
    m_recent.push_back(p);
    while (m_recent.front().seconds < seconds - kMaxRise) m_recent.pop_front();
    while (!m_lows.empty() && m_lows.back().g >= g) m_lows.pop_back();
    m_lows.push_back(p);
    while (m_lows.front().seconds < seconds - kMaxRise) m_lows.pop_front();
    if (m_recovering) recover(p);
    if (g - m_lows.front().g >= m_threshold) {
        m_rising = true;
        const auto onset = onsetOfRise();
        m_onset = m_recent[onset];
        m_settling = m_onset.first || m_lows.front().first;
        m_rise.assign(m_recent.begin() + static_cast<std::ptrdiff_t>(onset), m_recent.end());
        m_peak = p;
        // The last response never came half way back before this one began.
        m_recovering = false;
    }
    return false;
}

bool ResponseDetector::finish() {
    const bool counted = m_rising && confirm();
    m_rise.clear();
    return counted;
}

} // namespace sylvane::analysis
