#include "dialogs/port_preselect.h"

#include "platform/number_rules.h"

#include <cmath>

namespace sylvane::dialogs {

namespace {
std::string plainNumberText(double v) {
    if (v == std::floor(v) && std::fabs(v) < 1e15) {
        return platform::decimalText(static_cast<std::int64_t>(v));
    }
    return platform::trimmed(platform::standardText(static_cast<float>(v)));
}
} // namespace

PortPreselection preselectPort(const std::string& caption, const std::array<bool, 8>& usable) {
    PortPreselection result{caption, 0, false};
    bool wrapped = false;
    // Every pass lowers the caption's value or wraps once, so at most 8 + 8 + 2 passes run.
    for (int guard = 0; guard < 64; ++guard) {
        int p = platform::nearest(platform::numericValue(result.caption));
        if (p > 8) {
            result.caption = "8";
            p = 8;
        }
        if (p < 1) {
            result.caption = "1";
            p = 1;
        }
        if (usable[static_cast<std::size_t>(p - 1)]) {
            result.selectedPort = p;
            return result;
        }
        const double value = platform::numericValue(result.caption);
        if (value >= 2) {
            result.caption = plainNumberText(value - 1);
            continue;
        }
        if (wrapped) {
            result.noPortsMessage = true;
            result.caption.clear();
            return result;
        }
        wrapped = true;
        result.caption = "8";
    }
    result.noPortsMessage = true;
    result.caption.clear();
    return result;
}

std::string cancelPortCaption(const std::string& caption) {
    const int p = platform::nearest(platform::numericValue(caption));
    if (p > 8) return "8";
    if (p < 1) return "1";
    return caption;
}

} // namespace sylvane::dialogs
