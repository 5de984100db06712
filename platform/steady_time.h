#pragma once
// Seconds on the system's steady clock: what a session's reading times are counted in, so that a
// change of the date or the time during a session bends none of them.

#include <chrono>

namespace sylvane::platform {

inline double steadySeconds() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

} // namespace sylvane::platform
