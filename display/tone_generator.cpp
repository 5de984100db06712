#include "display/tone_generator.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace sylvane::display {

namespace {
constexpr double kTwoPi = 2 * std::numbers::pi;
} // namespace

std::optional<double> tonePitchHz(double conductance, double referenceConductance, double baseHz,
                                  double octavesPerDoubling) {
    for (const double v : {conductance, referenceConductance, baseHz})
        if (!std::isfinite(v) || v <= 0) return std::nullopt;
    if (!std::isfinite(octavesPerDoubling)) return std::nullopt;
    const double octaves = octavesPerDoubling * std::log2(conductance / referenceConductance);
    // Held in the exponent, so that an absurd ratio cannot overflow.
    const double held =
        std::clamp(octaves, std::log2(kLowestToneHz / baseHz),
                   std::max(std::log2(kHighestToneHz / baseHz), std::log2(kLowestToneHz / baseHz)));
    return std::clamp(baseHz * std::exp2(held), kLowestToneHz, kHighestToneHz);
}

ToneGenerator::ToneGenerator(int sampleRate)
    : m_rate(std::max(sampleRate, 1000)),
      // 90 % of the way after kGlideSeconds: (1 - glide)^(rate * seconds) = 0.1.
      m_glide(1 - std::pow(0.1, 1.0 / (kGlideSeconds * m_rate))),
      m_fadeStep(1.0 / (kFadeSeconds * m_rate)), m_logHz(std::log(440.0)), m_targetLogHz(m_logHz) {}

void ToneGenerator::setVolume(double volume) {
    m_volumeGain = std::isfinite(volume) ? std::clamp(volume, 0.0, 100.0) / 100.0 : 0.0;
    if (m_playing) m_targetGain = m_volumeGain;
}

void ToneGenerator::play(double hz) {
    if (!std::isfinite(hz)) return;
    m_targetLogHz = std::log(std::clamp(hz, kLowestToneHz, kHighestToneHz));
    // Out of silence there is nothing to glide from.
    if (m_gain == 0) {
        m_logHz = m_targetLogHz;
        m_phase = 0;
    }
    m_playing = true;
    m_targetGain = m_volumeGain;
}

void ToneGenerator::silence() {
    m_playing = false;
    m_targetGain = 0;
}

double ToneGenerator::pitchHz() const {
    return std::exp(m_logHz);
}

double ToneGenerator::next() {
    if (m_gain == 0 && m_targetGain == 0) return 0;
    m_logHz += (m_targetLogHz - m_logHz) * m_glide;
    if (m_gain < m_targetGain) {
        m_gain = std::min(m_targetGain, m_gain + m_fadeStep);
    } else if (m_gain > m_targetGain) {
        m_gain = std::max(m_targetGain, m_gain - m_fadeStep);
    }
    const double sample = m_gain * kFullScale * std::sin(m_phase);
    m_phase += kTwoPi * std::exp(m_logHz) / m_rate;
    if (m_phase >= kTwoPi) m_phase -= kTwoPi;
    return sample;
}

void ToneGenerator::render(std::span<float> out) {
    for (float& s : out) s = static_cast<float>(next());
}

void ToneGenerator::render(std::span<std::int16_t> out) {
    for (std::int16_t& s : out) s = static_cast<std::int16_t>(std::lround(next() * 32767.0));
}

} // namespace sylvane::display
