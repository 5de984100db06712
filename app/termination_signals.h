#pragma once
// SIGTERM and SIGINT (a desktop logout, kill, Ctrl+C in a terminal) end the program through its
// normal close, not by the default action that skips it.

#include <functional>

namespace sylvane::app {

// From now on the first SIGTERM or SIGINT runs closeOnce on the event loop; later ones are
// ignored. The signal handler itself only writes a byte into a pipe.
void closeOnTerminationSignals(std::function<void()> closeOnce);

} // namespace sylvane::app
