#include "acquisition/readouts.h"

#include "acquisition/frame_decoder.h"
#include "platform/number_rules.h"

#include <charconv>
#include <cmath>

namespace sylvane::acquisition {

namespace pf = platform;

std::string conductanceText(float ohms) {
    // Microsiemens, evaluated in double and kept as a 32-bit float like every readout value.
    const float g = static_cast<float>(1000000.0 / static_cast<double>(ohms));
    if (g >= 1000000.0f) return pf::fourCharacterText(static_cast<float>(g / 1000000.0)) + "  S";
    if (g >= 1000.0f) return pf::fourCharacterText(static_cast<float>(g / 1000.0)) + " mS";
    return pf::fourCharacterText(g) + " uS";
}

std::string changeText(float percent) {
    const std::string t = pf::standardText(percent);
    const auto point = t.find('.');
    if (t.find('E') != std::string::npos || point == std::string::npos) return "0 %";
    // One decimal, cut rather than rounded.
    std::string text = t.substr(0, point + 2);
    text.append(" %");
    return text;
}

float targetLevel(float percent, std::int32_t sensitivity) {
    return static_cast<float>(
        std::floor((1.0 - static_cast<double>(percent) / sensitivity) * 255.0));
}

const Readouts& ReadoutFormatter::compute(const ReadoutInputs& in) {
    Readouts& out = m_out;
    out.resistance.reset();
    out.conductance.reset();
    out.adc.reset();
    out.probe.reset();
    out.battery.reset();
    out.change.reset();
    out.targetColorLevel.reset();
    Texts& t = m_kept[static_cast<std::uint32_t>(in.smoothedADC) % kKept];
    if (t.adc != in.smoothedADC) {
        t.adc = in.smoothedADC;
        t.ohms = pf::resistanceOfAdc(in.smoothedADC);
        t.resistance = pf::formatOhms(t.ohms) + "Ohms";
        t.conductance = t.ohms != 0.0f ? conductanceText(t.ohms) : std::string();
        t.haveChange = false;
    }

    float r = 0;
    if (in.smoothedADC >= kLowestConvertibleAdc) {
        r = t.ohms;
        out.resistance = t.resistance;
        // Zero resistance has no conductance and no change to show.
        if (r == 0.0f) return out;
        out.conductance = t.conductance;
        if (in.sessionRunning) {
            out.adc.emplace(
                m_adcDigits,
                std::to_chars(m_adcDigits, m_adcDigits + sizeof m_adcDigits, in.rawADC).ptr -
                    m_adcDigits);
            out.probe = (in.probeStatus & kProbeError) ? StatusShown{kFaultColor, "Probe error"}
                                                       : StatusShown{kOkColor, "Probe OK"};
            out.battery = (in.probeStatus & kBatteryLow)
                              ? StatusShown{kFaultColor, "Need to replace Battery"}
                              : StatusShown{kOkColor, "Battery OK"};
        }
    }

    float percent = 0;
    if (in.reference != 0) {
        // The change depends on nothing but the smoothed value and the reference.
        if (!t.haveChange || t.reference != in.reference) {
            const float r0 = pf::resistanceOfAdc(in.reference);
            // A reference of full scale is zero resistance: no change can be computed against it.
            if (r0 == 0.0f) return out;
            t.haveChange = true;
            t.reference = in.reference;
            t.percent = static_cast<float>((static_cast<double>(r) - r0) / r0 * 100.0);
            t.change = changeText(t.percent);
            t.sensitivity = 0;
        }
        percent = t.percent;
        out.change = t.change;
    }

    if (in.graphSensitivity != 0) {
        if (in.reference == 0) {
            out.targetColorLevel = targetLevel(0, in.graphSensitivity);
        } else {
            if (t.sensitivity != in.graphSensitivity) {
                t.sensitivity = in.graphSensitivity;
                t.target = targetLevel(percent, in.graphSensitivity);
            }
            out.targetColorLevel = t.target;
        }
    }
    return out;
}

} // namespace sylvane::acquisition
