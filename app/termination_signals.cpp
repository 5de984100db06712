#include "app/termination_signals.h"

#include "app/frm_sylvane.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>
#endif

namespace sylvane::app {

#ifdef Q_OS_UNIX

namespace {

int wakeFds[2] = {-1, -1};

extern "C" void wakeEventLoop(int) {
    const int saved = errno;
    const char byte = 1;
    // A full pipe already holds a wake-up; nothing to add.
    [[maybe_unused]] const ssize_t n = ::write(wakeFds[1], &byte, 1);
    errno = saved;
}

} // namespace

void closeOnTerminationSignals(std::function<void()> closeOnce) {
    if (wakeFds[0] < 0 && ::pipe2(wakeFds, O_CLOEXEC | O_NONBLOCK) != 0) return;
    auto* notifier =
        new QSocketNotifier(wakeFds[0], QSocketNotifier::Read, QCoreApplication::instance());
    QObject::connect(notifier, &QSocketNotifier::activated, notifier, [notifier, closeOnce] {
        char drain[64];
        while (::read(wakeFds[0], drain, sizeof drain) > 0) {
        }
        // The close may let events run (a layout pause); a second signal meanwhile must not
        // close again.
        notifier->setEnabled(false);
        closeOnce();
    });
    struct sigaction action = {};
    action.sa_handler = wakeEventLoop;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
}

#else

void closeOnTerminationSignals(std::function<void()>) {}

#endif

void closeOnTerminationSignals(frmSylvane& window) {
    closeOnTerminationSignals([&window] {
        if (window.isVisible())
            window.close();
        else
            window.mnuExit_Click();
        QCoreApplication::exit(0);
    });
}

} // namespace sylvane::app
