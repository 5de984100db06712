#include "probe_signal.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <utility>

namespace sylvane::probesim {

std::array<std::uint8_t, frameSize> encodeFrame(const Frame& frame) {
    return {0xAA,
            0xAA,
            0x01,
            frame.aux,
            static_cast<std::uint8_t>(frame.adc & 0xFF),
            static_cast<std::uint8_t>(frame.adc >> 8),
            frame.status,
            static_cast<std::uint8_t>(frame.auxWord & 0xFF),
            static_cast<std::uint8_t>(frame.auxWord >> 8)};
}

double Random::uniform() {
    return (static_cast<double>(m_engine()) + 0.5) / 4294967296.0;
}

double Random::normal() {
    if (m_spareNormal) return *std::exchange(m_spareNormal, std::nullopt);
    const double r = std::sqrt(-2.0 * std::log(uniform()));
    const double a = 2.0 * std::numbers::pi * uniform();
    m_spareNormal = r * std::sin(a);
    return r * std::cos(a);
}

int Random::between(int lo, int hi) {
    const auto span = static_cast<std::uint64_t>(hi - lo) + 1;
    return lo + static_cast<int>(m_engine() % span);
}

namespace {

constexpr double settleTime = 0.25;       // s, time constant of the contact settling
constexpr double driftStepTime = 6.0;     // s between one-count drift steps on average
constexpr int driftPull = 300;            // counts; drift this far off rest only steps back
constexpr double quietTime = 10.0;        // s after placing the probe without a response
constexpr double responseInterval = 25.0; // s between skin responses on average
constexpr std::size_t maxResponses = 8;

} // namespace

SkinSignal::SkinSignal(std::uint32_t seed, double frameRate, double noise)
    : m_random(seed), m_dt(1.0 / std::clamp(frameRate, 0.01, 1000.0)),
      m_noise(std::max(0.0, noise)) {
    // A whole resting level, so that noise below half a count rarely changes the value.
    m_rest = m_random.between(1800, 2300);
    // A fresh contact reads a higher resistance (a lower value) until the skin has wetted it.
    m_settleFrom = -(30.0 + 90.0 * m_random.uniform());
}

int SkinSignal::next() {
    if (m_random.uniform() < m_dt / driftStepTime) {
        const double upChance = 0.5 * (1.0 - static_cast<double>(m_drift) / driftPull);
        m_drift += m_random.uniform() < upChance ? 1 : -1;
    }

    if (m_time >= quietTime && m_random.uniform() < m_dt / responseInterval &&
        m_responses.size() < maxResponses) {
        const double u = m_random.uniform();
        m_responses.push_back({m_time, 40.0 + 210.0 * u * u, 1.0 + 2.0 * m_random.uniform(),
                               4.0 + 8.0 * m_random.uniform()});
        ++m_responseCount;
    }

    double response = 0;
    for (const Response& r : m_responses) {
        const double age = m_time - r.start;
        if (age < r.rise)
            response += r.amplitude * 0.5 * (1.0 - std::cos(std::numbers::pi * age / r.rise));
        else
            response += r.amplitude * std::exp(-(age - r.rise) / r.recovery);
    }
    std::erase_if(m_responses, [this](const Response& r) {
        return m_time - r.start > r.rise + 8.0 * r.recovery;
    });

    const double settling = m_settleFrom * std::exp(-m_time / settleTime);
    const double value = m_rest + m_drift + settling + response + m_noise * m_random.normal();
    m_time += m_dt;
    return std::clamp(static_cast<int>(std::lround(value)), 0, maxAdc);
}

FrameStream::FrameStream(const StreamOptions& options)
    : m_options(options), m_signal(options.seed, options.frameRate, options.noise),
      m_strayRandom(options.seed ^ 0x9E3779B9u) {}

Bytes FrameStream::next() {
    Bytes out;
    if (m_count > 0 && m_options.strayProbability > 0 &&
        m_strayRandom.uniform() < m_options.strayProbability) {
        const int n = m_strayRandom.between(1, 4);
        for (int i = 0; i < n; ++i) {
            // Any byte but the sync byte, so a stray never starts a false frame.
            int b = m_strayRandom.between(0, 254);
            if (b >= 0xAA) ++b;
            out.push_back(static_cast<std::uint8_t>(b));
        }
    }
    const int adc = m_options.fixedAdc ? *m_options.fixedAdc : m_signal.next();
    const Frame frame{static_cast<std::uint8_t>(m_count & 0xFF),
                      static_cast<std::uint16_t>(adc & 0xFFFF), m_options.status, 0};
    const auto bytes = encodeFrame(frame);
    out.insert(out.end(), bytes.begin(), bytes.end());
    ++m_count;
    return out;
}

namespace {

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool isSeparator(char c) {
    return c == ' ' || c == '\t' || c == ',' || c == '\r';
}

} // namespace

std::optional<std::vector<Bytes>> parseHexFrames(std::string_view text, std::string* error) {
    std::vector<Bytes> lines;
    int lineNumber = 0;
    while (!text.empty()) {
        ++lineNumber;
        const std::size_t eol = text.find('\n');
        std::string_view line = text.substr(0, eol);
        text = eol == std::string_view::npos ? std::string_view() : text.substr(eol + 1);
        if (const std::size_t hash = line.find('#'); hash != std::string_view::npos)
            line = line.substr(0, hash);

        Bytes bytes;
        std::size_t i = 0;
        while (i < line.size()) {
            if (isSeparator(line[i])) {
                ++i;
                continue;
            }
            std::size_t end = i;
            while (end < line.size() && !isSeparator(line[end])) ++end;
            std::string_view token = line.substr(i, end - i);
            i = end;
            std::string_view digits = token;
            if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X'))
                digits.remove_prefix(2);
            const bool ok =
                (digits.size() == 1 || digits.size() == 2) &&
                std::all_of(digits.begin(), digits.end(), [](char c) { return hexDigit(c) >= 0; });
            if (!ok) {
                if (error)
                    *error = "line " + std::to_string(lineNumber) + ": \"" + std::string(token) +
                             "\" is not a hex byte (00 to FF)";
                return std::nullopt;
            }
            int value = 0;
            for (char c : digits) value = value * 16 + hexDigit(c);
            bytes.push_back(static_cast<std::uint8_t>(value));
        }
        if (!bytes.empty()) lines.push_back(std::move(bytes));
    }
    return lines;
}

} // namespace sylvane::probesim
