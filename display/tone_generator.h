#pragma once
// The biofeedback tone, an audible display of skin conductance: a soft sine whose pitch follows
// the logarithm of the conductance, so that the same relative change always moves it by the same
// interval. The pitch glides from reading to reading (an exponential glide of the logarithm of
// the frequency, the phase carried on), and the tone fades in and out, so that it never steps or
// clicks. Plain C++: the sound output feeds it the pitches and plays the blocks it renders.

#include <cstdint>
#include <optional>
#include <span>

namespace sylvane::display {

// The audible range the pitch is held to.
inline constexpr double kLowestToneHz = 50;
inline constexpr double kHighestToneHz = 4000;

// The pitch of a conductance: baseHz at the reference conductance, octavesPerDoubling octaves
// higher for each doubling of it (lower for each halving), held to 50..4000 Hz. Nothing when a
// conductance is not a positive finite number.
std::optional<double> tonePitchHz(double conductance, double referenceConductance, double baseHz,
                                  double octavesPerDoubling);

class ToneGenerator {
public:
    // A change of pitch is 90 % done after this long.
    static constexpr double kGlideSeconds = 0.12;
    // From silence to full volume, and back.
    static constexpr double kFadeSeconds = 0.03;
    // The amplitude at volume 100, as a share of the output's full scale: a soft tone that leaves
    // the sound system room to mix.
    static constexpr double kFullScale = 0.5;

    explicit ToneGenerator(int sampleRate);

    int sampleRate() const { return m_rate; }
    // 0..100 (held to it); a change glides as a fade does.
    void setVolume(double volume);
    // The pitch to glide to. From silence the tone fades in at this pitch.
    void play(double hz);
    // Fades out to silence.
    void silence();
    // True while anything but silence is produced or about to be.
    bool sounding() const { return m_gain > 0 || m_targetGain > 0; }
    // The pitch of the last sample rendered.
    double pitchHz() const;

    // The next samples, mono: floats of -1..1, or 16-bit whole numbers.
    void render(std::span<float> out);
    void render(std::span<std::int16_t> out);

private:
    double next();

    int m_rate;
    double m_glide;    // share of the remaining interval covered each sample
    double m_fadeStep; // gain change each sample
    double m_logHz;
    double m_targetLogHz;
    double m_phase = 0;
    double m_gain = 0;
    double m_targetGain = 0;
    double m_volumeGain = 0.4;
    bool m_playing = false;
};

} // namespace sylvane::display
