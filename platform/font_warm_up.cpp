#include "platform/font_warm_up.h"

#include <fontconfig/fontconfig.h>

#include <system_error>

namespace sylvane::platform {

FontWarmUp::FontWarmUp() {
    // The configuration it loads becomes the process's current one, which the toolkit's own
    // FcInit() then finds; fontconfig makes that exchange safe between threads.
    try {
        m_thread = std::thread([] { FcInit(); });
    } catch (const std::system_error&) {
        // No thread to spare: the toolkit loads it when it first needs it, as it always can.
    }
}

FontWarmUp::~FontWarmUp() {
    join();
}

void FontWarmUp::join() {
    if (m_thread.joinable()) m_thread.join();
}

} // namespace sylvane::platform
