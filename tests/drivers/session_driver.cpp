// sylvane-session-driver --folder DIR: the real main window, offscreen, running a session on COM2
// of DIR, for tests that end it in ways a test process cannot survive (SIGKILL mid-session) or
// need another program holding the port or the folder. Like the program, it holds the folder
// first and closes on SIGTERM and SIGINT.
// Standard input, a line each: "mark TEXT" (Session > Mark's box, TEXT typed, left open), "stop",
// "start", "exit" (File > Exit), "close" (the close box). Standard output, a line each, flushed:
// "started" at each Start, "marking", "recorded N" as the count grows, "message TITLE: PROMPT" for
// each message box (answered OK). Exit status 2 for bad arguments, 3 when the session could not
// start, 4 when another program holds the folder; otherwise the program's own.

#include "acquisition/serial_link.h"
#include "app/frm_sylvane.h"
#include "app/program_lock.h"
#include "app/termination_signals.h"
#include "display/tone_output.h"
#include "platform/label.h"
#include "platform/message_box.h"

#include <QAction>
#include <QApplication>
#include <QLineEdit>
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

    const QString folder = QString::fromLocal8Bit(argv[2]);
    sylvane::app::ProgramFolderLock lock(folder);
    if (!lock.take()) return 4;
    // What start-up leaves for a session on COM2; never shown, so no layout is asked for.
    sylvane::app::frmSylvane w({folder, {}});
    sylvane::app::closeOnTerminationSignals(w);
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

    QSocketNotifier commands(STDIN_FILENO, QSocketNotifier::Read);
    QByteArray typed;
    QObject::connect(&commands, &QSocketNotifier::activated, [&] {
        char buffer[256];
        const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (n <= 0) {
            commands.setEnabled(false);
            return;
        }
        typed.append(buffer, n);
        for (qsizetype end; (end = typed.indexOf('\n')) >= 0; typed.remove(0, end + 1)) {
            const QByteArray line = typed.left(end).trimmed();
            if (line.startsWith("mark ")) {
                w.mnuMark_Click();
                if (w.markerBox())
                    w.markerBox()
                        ->findChild<QLineEdit*>(QStringLiteral("txtMarker"))
                        ->setText(QString::fromUtf8(line.mid(5)));
                say(QStringLiteral("marking"));
            } else if (line == "stop") {
                w.mnuStop_Click();
            } else if (line == "start") {
                w.mnuStart_Click();
                say(QStringLiteral("started"));
            } else if (line == "exit" || line == "close") {
                if (line == "exit")
                    w.mnuExit_Click();
                else
                    w.close();
                QCoreApplication::quit();
            }
        }
    });
    return QApplication::exec();
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    const int status = run(argc, argv);
    sylvane::display::leaveIfAudioStuck(status);
    return status;
}
