#include "acquisition/readouts.h"

#include "acquisition/frame_decoder.h"
#include "platform/number_rules.h"

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

Readouts computeReadouts(const ReadoutInputs& in) {
    Readouts out;
    float r = 0;
    if (in.smoothedADC >= kLowestConvertibleAdc) {
        r = pf::resistanceOfAdc(in.smoothedADC);
        out.resistance = pf::formatOhms(r) + "Ohms";
        // Zero resistance has no conductance and no change to show.
        if (r == 0.0f) return out;
        out.conductance = conductanceText(r);
        if (in.sessionRunning) {
            out.adc = pf::decimalText(in.rawADC);
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
        if (r0 == 0.0f) return out;
        percent = static_cast<float>((static_cast<double>(r) - r0) / r0 * 100.0);
        out.change = changeText(percent);
    }

    if (in.graphSensitivity != 0) out.targetColorLevel = targetLevel(percent, in.graphSensitivity);
    return out;
}

} // namespace sylvane::acquisition
