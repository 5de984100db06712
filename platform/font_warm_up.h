#pragma once
// The font configuration loaded on a thread of its own while the toolkit connects to the display.
// Loading it (some fifty configuration files parsed) is the largest part of the first text the
// window draws, and the connection leaves the processor waiting on the display server meanwhile.

#include <thread>

namespace sylvane::platform {

class FontWarmUp {
public:
    // Starts loading; before the application object, so that the two overlap.
    FontWarmUp();
    // Waits for it, if still running.
    ~FontWarmUp();
    FontWarmUp(const FontWarmUp&) = delete;
    FontWarmUp& operator=(const FontWarmUp&) = delete;

    // Waits until it is loaded: before the first widget, so that the toolkit finds the
    // configuration loaded rather than loading a second one beside it.
    void join();

private:
    std::thread m_thread;
};

} // namespace sylvane::platform
