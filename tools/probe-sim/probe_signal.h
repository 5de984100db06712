#pragma once
// What the simulated probe sends: a skin-resistance signal, its 9-byte frames, stray bytes
// between them, and scripted frames read from a hex text file. Plain C++ so that tests,
// benchmarks and soak runs can produce exactly the bytes the simulator writes.
//
// Everything is reproducible: the same seed and options give the same bytes on every run and
// every machine (the random numbers come from std::mt19937, whose sequence is fixed, with our
// own distributions on top).

#include <array>
#include <cstdint>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <vector>

namespace sylvane::probesim {

inline constexpr std::uint8_t statusProbeError = 0x01;
inline constexpr std::uint8_t statusBatteryLow = 0x02;
inline constexpr std::uint8_t statusValid = 0x04;

inline constexpr int frameSize = 9;
// 4800 baud with 8N1 framing carries 480 bytes a second: 53 whole frames.
inline constexpr double maxFrameRate = 53.0;
inline constexpr int maxAdc = 4095;

using Bytes = std::vector<std::uint8_t>;

struct Frame {
    std::uint8_t aux = 0;
    std::uint16_t adc = 0;
    std::uint8_t status = statusValid;
    std::uint16_t auxWord = 0;
};

// AA AA 01, aux byte, ADC low, ADC high, status, aux word low, aux word high.
std::array<std::uint8_t, frameSize> encodeFrame(const Frame& frame);

class Random {
public:
    explicit Random(std::uint32_t seed) : m_engine(seed) {}
    // Uniform in (0, 1).
    double uniform();
    // Standard normal.
    double normal();
    // Whole number in [lo, hi].
    int between(int lo, int hi);

private:
    std::mt19937 m_engine;
    std::optional<double> m_spareNormal;
};

// Skin resistance as the probe's ADC sees it, one value per frame, from the moment the probe is
// placed on the skin: the contact settles first (the value rises to a resting level between 1800
// and 2300 and steadies within about 2 s), then the level drifts slowly in whole counts, and
// from 10 s on a skin response comes about every 25 s (resistance falls, so the value rises over
// one to three seconds and recovers slowly). The noise is a fraction of a count by default, so a
// probe at rest repeats its value for many frames at a time, as the reference latch expects.
// Values stay within 0..4095. The shape in time does not depend on the frame rate.
class SkinSignal {
public:
    static constexpr double defaultNoise = 0.15; // ADC counts, standard deviation

    SkinSignal(std::uint32_t seed, double frameRate, double noise = defaultNoise);
    int next();
    double restingLevel() const { return m_rest; }
    // Skin responses begun so far.
    int responseCount() const { return m_responseCount; }

private:
    struct Response {
        double start;
        double amplitude;
        double rise;
        double recovery;
    };
    Random m_random;
    double m_dt;
    double m_noise;
    double m_rest;
    double m_settleFrom;
    int m_drift = 0;
    double m_time = 0;
    int m_responseCount = 0;
    std::vector<Response> m_responses;
};

struct StreamOptions {
    std::uint32_t seed = 1;
    double frameRate = 2.0;
    std::uint8_t status = statusValid;
    // A fixed ADC value sent as is (no signal, no noise); any 16-bit value, so that values
    // beyond the probe's 0..4095 can be sent on purpose.
    std::optional<int> fixedAdc;
    // Chance that 1 to 4 stray bytes (never 0xAA) come before a frame, the first one excepted.
    double strayProbability = 0.0;
    double noise = SkinSignal::defaultNoise;
};

// The bytes of successive frames: aux byte = frame number modulo 256, aux word 0.
class FrameStream {
public:
    explicit FrameStream(const StreamOptions& options);
    // Stray bytes, if any, then the next frame.
    Bytes next();
    std::uint64_t framesSent() const { return m_count; }

private:
    StreamOptions m_options;
    SkinSignal m_signal;
    Random m_strayRandom;
    std::uint64_t m_count = 0;
};

// Reads a frames file: one write a line, made of hex bytes ("AA", "aa", "0xAA") separated by
// blanks, tabs or commas; "#" starts a comment; lines without bytes are skipped. A line may
// hold any number of bytes (a frame, part of one, stray bytes). On a malformed file returns
// nothing and a message naming the line in *error.
std::optional<std::vector<Bytes>> parseHexFrames(std::string_view text,
                                                 std::string* error = nullptr);

} // namespace sylvane::probesim
