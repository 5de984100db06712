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

namespace {

// The readouts of one frame; texts come from the callables so that a caller may reuse them.
template <typename ResistanceTexts, typename ChangeText>
void readoutsInto(Readouts& out, const ReadoutInputs& in, ResistanceTexts&& resistanceTexts,
                  ChangeText&& change) {
    out.resistance.reset();
    out.conductance.reset();
    out.adc.reset();
    out.probe.reset();
    out.battery.reset();
    out.change.reset();
    out.targetColorLevel.reset();
    float r = 0;
    if (in.smoothedADC >= kLowestConvertibleAdc) {
        r = resistanceTexts(out);
        // Zero resistance has no conductance and no change to show.
        if (r == 0.0f) {
            out.conductance.reset();
            return;
        }
        if (in.sessionRunning) {
            char digits[16];
            out.adc.emplace(digits, std::to_chars(digits, digits + sizeof digits, in.rawADC).ptr);
            out.probe = (in.probeStatus & kProbeError) ? StatusShown{kFaultColor, "Probe error"}
                                                       : StatusShown{kOkColor, "Probe OK"};
            out.battery = (in.probeStatus & kBatteryLow)
                              ? StatusShown{kFaultColor, "Need to replace Battery"}
                              : StatusShown{kOkColor, "Battery OK"};
        }
    }

    float percent = 0;
    if (in.reference != 0) {
        const float r0 = pf::resistanceOfAdc(in.reference);
        // A reference of full scale is zero resistance: no change can be computed against it.
        if (r0 == 0.0f) return;
        percent = static_cast<float>((static_cast<double>(r) - r0) / r0 * 100.0);
        out.change = change(percent);
    }

    if (in.graphSensitivity != 0) out.targetColorLevel = targetLevel(percent, in.graphSensitivity);
}

} // namespace

Readouts computeReadouts(const ReadoutInputs& in) {
    Readouts out;
    readoutsInto(
        out, in,
        [&](Readouts& o) {
            const float r = pf::resistanceOfAdc(in.smoothedADC);
            o.resistance = pf::formatOhms(r) + "Ohms";
            if (r != 0.0f) o.conductance = conductanceText(r);
            return r;
        },
        [](float percent) { return changeText(percent); });
    return out;
}

const Readouts& ReadoutFormatter::compute(const ReadoutInputs& in) {
    readoutsInto(
        m_out, in,
        [&](Readouts& o) {
            if (in.smoothedADC != m_textsOf) {
                m_textsOf = in.smoothedADC;
                m_ohms = pf::resistanceOfAdc(in.smoothedADC);
                m_resistance = pf::formatOhms(m_ohms) + "Ohms";
                m_conductance = m_ohms != 0.0f ? conductanceText(m_ohms) : std::string();
            }
            o.resistance = m_resistance;
            o.conductance = m_conductance;
            return m_ohms;
        },
        [&](float percent) -> const std::string& {
            if (!m_haveChange || !(percent == m_changeOf)) {
                m_haveChange = true;
                m_changeOf = percent;
                m_change = changeText(percent);
            }
            return m_change;
        });
    return m_out;
}

} // namespace sylvane::acquisition
