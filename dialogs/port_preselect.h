#pragma once
// Which port the port dialog selects when it opens: the current one, or the nearest usable one
// below it, then once more from COM8 downwards. The caption is rewritten at every try.

#include <array>
#include <string>

namespace sylvane::dialogs {

struct PortPreselection {
    std::string caption;  // the port caption afterwards ("" when no port is usable)
    int selectedPort = 0; // 1..8, 0 when none
    bool noPortsMessage = false;
};

PortPreselection preselectPort(const std::string& caption, const std::array<bool, 8>& usable);

// The caption Cancel leaves: brought into 1..8, otherwise unchanged.
std::string cancelPortCaption(const std::string& caption);

} // namespace sylvane::dialogs
