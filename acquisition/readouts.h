#pragma once
// What the readouts show for one frame: resistance, conductance, the change of resistance
// against the session's reference reading, the raw ADC value, the probe and battery state, and
// the colour level the colour displays move toward. Empty fields leave their label as it is.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace sylvane::acquisition {

inline constexpr std::uint32_t kFaultColor = 0x008080FF; // light red
inline constexpr std::uint32_t kOkColor = 0x0080FF80;    // light green

// Below this ADC value the resistance is beyond what the readouts show.
inline constexpr std::int32_t kLowestConvertibleAdc = 10;

struct ReadoutInputs {
    std::int32_t smoothedADC = 0;
    std::int32_t rawADC = 0;
    std::int32_t probeStatus = 0;
    // Numeric value of the reference caption; 0 while no reference is latched.
    double reference = 0;
    std::int32_t graphSensitivity = 0;
    bool sessionRunning = false;
};

struct StatusShown {
    std::uint32_t backColor = 0;
    std::string_view toolTip;
    bool operator==(const StatusShown&) const = default;
};

// The texts stay valid until the next compute() of the formatter that gave them.
struct Readouts {
    std::optional<std::string_view> resistance;  // LblShnStf(3)
    std::optional<std::string_view> conductance; // LblShnStf(5)
    std::optional<std::string_view> adc;         // LblShnStf(7)
    std::optional<StatusShown> probe;            // LblShnStf(7) colour and tool tip
    std::optional<StatusShown> battery;          // LblShnStf(9) colour and tool tip
    std::optional<std::string_view> change;      // LblShnStf(1)
    std::optional<float> targetColorLevel;
};

// The readouts of a stream of frames. The texts of recent smoothed values are kept, so that a
// frame whose value was seen lately formats nothing and allocates nothing.
class ReadoutFormatter {
public:
    const Readouts& compute(const ReadoutInputs& in);

private:
    struct Texts {
        std::int32_t adc = -1;
        float ohms = 0;
        std::string resistance;
        std::string conductance;
        // The change against the reference it was worked out for, and the colour level at the
        // sensitivity it was worked out for.
        double reference = 0;
        bool haveChange = false;
        float percent = 0;
        std::string change;
        std::int32_t sensitivity = 0;
        float target = 0;
    };
    static constexpr std::size_t kKept = 64;
    std::array<Texts, kKept> m_kept;
    char m_adcDigits[16] = {};
    Readouts m_out;
};

// Conductance of a resistance in Ohms, with "  S", " mS" or " uS" ("2.12 uS").
std::string conductanceText(float ohms);

// Change of resistance in percent with one decimal, cut rather than rounded (" 4.8 %",
// "-4.9 %"); "0 %" when the number text has no decimal point or an exponent.
std::string changeText(float percent);

// Colour level for a change of resistance: 255 at no change, 0 at +sensitivity percent, not
// clamped. sensitivity must not be 0.
float targetLevel(float percent, std::int32_t sensitivity);

} // namespace sylvane::acquisition
