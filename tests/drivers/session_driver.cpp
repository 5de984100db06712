// sylvane-session-driver: the real main window, offscreen, in a given program folder, with a
// session started on a COM port; it runs until it is killed. Tests use it to end the program in
// ways a test process cannot survive itself (SIGKILL in the middle of a session) and then look
// at what the program left on disk.
//
//     sylvane-session-driver --folder DIR [--port N]
//
// Standard output, one line each, flushed at once:
//     started                 the session runs
//     recorded N              N readings have been recorded so far (every 20 ms when it grew)
//     message TITLE: PROMPT   a message box the program showed (answered with OK)
//     stopped                 the session ended by itself
// Exit status 2 for bad arguments, 3 when the session could not be started.

#include "acquisition/serial_link.h"
#include "app/frm_sylvane.h"
#include "platform/label.h"
#include "platform/message_box.h"

#include <QAction>
#include <QApplication>
#include <QTimer>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

void say(const QString& line) {
    std::fputs(line.toLocal8Bit().constData(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

[[noreturn]] void usage(const char* why) {
    std::fprintf(stderr,
                 "sylvane-session-driver: %s\nusage: sylvane-session-driver --folder DIR "
                 "[--port N]\n",
                 why);
    std::exit(2);
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    QString folder;
    QString port = QStringLiteral("2");
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (i + 1 >= argc) usage("every option takes a value");
        if (arg == "--folder") {
            folder = QString::fromLocal8Bit(argv[++i]);
        } else if (arg == "--port") {
            port = QString::fromLocal8Bit(argv[++i]);
        } else {
            usage("unknown option");
        }
    }
    if (folder.isEmpty()) usage("--folder is required");

    sylvane::platform::setMessageHook([](const sylvane::platform::MessageRequest& request) {
        QString prompt = request.prompt;
        prompt.replace(QStringLiteral("\r\n"), QStringLiteral(" | "));
        say(QStringLiteral("message %1: %2").arg(request.title, prompt));
        return int{sylvane::platform::vbOK};
    });

    sylvane::app::frmSylvane w({folder, {}});
    // What start-up leaves for a session: the port caption, the reference latch waiting, the
    // timer running. The window is never shown, so no layout is asked for.
    w.LblParams[5]->setCaption(port);
    w.awaitingStartValue = true;
    w.layoutReason = 1;
    w.Timer1->start(200);

    w.mnuStart_Click();
    if (w.mnuStart->isEnabled()) return 3;
    say(QStringLiteral("started"));

    std::int32_t reported = 0;
    bool stopped = false;
    QTimer progress;
    QObject::connect(&progress, &QTimer::timeout, [&] {
        const std::int32_t recorded = w.recordNumber - 1;
        if (recorded != reported) {
            reported = recorded;
            say(QStringLiteral("recorded %1").arg(recorded));
        }
        if (!stopped && w.mnuStart->isEnabled()) {
            stopped = true;
            say(QStringLiteral("stopped"));
        }
    });
    progress.start(20);
    return QApplication::exec();
}
