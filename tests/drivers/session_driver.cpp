// sylvane-session-driver --folder DIR: the real main window, offscreen, with a session started
// on COM2 of DIR, running until it is killed; tests end it in ways a test process cannot survive
// itself (SIGKILL mid-session), or use it as another program holding the port.
// Standard output, a line each, flushed at once: "started", "recorded N" whenever the count of
// recorded readings grows, "message TITLE: PROMPT" for each message box (answered with OK).
// Exit status 2 for bad arguments, 3 when the session could not be started. A line "quit" on
// standard input closes the window as its close box does, and the driver ends as the program does.

#include "acquisition/serial_link.h"
#include "app/frm_sylvane.h"
#include "platform/label.h"
#include "platform/message_box.h"
#include "platform/tone_output.h"

#include <QAction>
#include <QApplication>
#include <QSocketNotifier>
#include <QTimer>

#include <cstdio>
#include <cstring>

#include <unistd.h>

namespace {

void say(const QString& line) {
    std::puts(line.toLocal8Bit().constData());
    std::fflush(stdout);
}

int run(int& argc, char** argv) {
    QApplication app(argc, argv);
    if (argc != 3 || std::strcmp(argv[1], "--folder") != 0) {
        std::fputs("usage: sylvane-session-driver --folder DIR\n", stderr);
        return 2;
    }
    sylvane::platform::setMessageHook([](const sylvane::platform::MessageRequest& request) {
        say(QStringLiteral("message %1: %2").arg(request.title, request.prompt));
        return int{sylvane::platform::vbOK};
    });

    // What start-up leaves for a session on COM2; never shown, so no layout is asked for.
    sylvane::app::frmSylvane w({QString::fromLocal8Bit(argv[2]), {}});
    w.LblParams[5]->setCaption(QStringLiteral("2"));
    w.engine.state().awaitingStartValue = true;
    w.layoutReason = 1;
    w.Timer1->start(200);
    w.mnuStart_Click();
    if (w.mnuStart->isEnabled()) return 3;
    say(QStringLiteral("started"));

    std::int32_t reported = 0;
    QTimer progress;
    QObject::connect(&progress, &QTimer::timeout, [&] {
        if (w.engine.state().recordNumber - 1 == reported) return;
        reported = w.engine.state().recordNumber - 1;
        say(QStringLiteral("recorded %1").arg(reported));
    });
    progress.start(20);

    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QByteArray typed;
    QObject::connect(&input, &QSocketNotifier::activated, [&] {
        char buffer[256];
        const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (n <= 0) {
            input.setEnabled(false);
            return;
        }
        typed.append(buffer, n);
        if (typed.contains("quit\n")) {
            w.close();
            QCoreApplication::quit();
        }
    });
    return QApplication::exec();
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    const int status = run(argc, argv);
    sylvane::platform::leaveIfAudioStuck(status);
    return status;
}
