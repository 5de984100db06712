#pragma once
// SIGTERM and SIGINT (a desktop logout, kill, Ctrl+C in a terminal) end the program through its
// normal close, not by the default action that skips it.

#include <functional>

namespace sylvane::app {

// From now on the first SIGTERM or SIGINT runs closeOnce on the event loop; later ones are
// ignored. The signal handler itself only writes a byte into a pipe.
void closeOnTerminationSignals(std::function<void()> closeOnce);

class frmSylvane;
// The window closes as its close box closes it (before it is shown, as Exit), and a modal
// dialog or message box open at the time ends too.
void closeOnTerminationSignals(frmSylvane& window);

} // namespace sylvane::app
