// The processor time a live session costs: the real main window runs a session on COM n of a
// program folder (a probe or the probe simulator on the other end) for a number of seconds, and
// the process's user + system time is read from /proc/self/stat before and after, after a
// warm-up. Prints the share of one core and the readings recorded per second, and beside them
// whether the reference latched, the readings recorded and the picture graph's full redraws: a
// session that never latched draws nothing, so its figure leaves out the graph's work and the
// harness fails.
//
//     sylvane_cpu_harness FOLDER PORT SECONDS [tone]
//
// With "tone" the biofeedback tone is on (Tone=1 in the folder's sylvane-extra.ini), playing on
// the sound server of PULSE_SERVER; its audio thread is part of the process's time.
// scripts/measure-acquisition-cpu.sh runs it against the simulator at the line's full rate.

#include "acquisition/serial_link.h"
#include "app/frm_sylvane.h"
#include "platform/label.h"
#include "platform/message_box.h"
#include "platform/picture_box.h"
#include "storage/extra_settings.h"

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTimer>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// utime + stime of this process in clock ticks.
long long cpuTicks() {
    QFile stat(QStringLiteral("/proc/self/stat"));
    if (!stat.open(QIODevice::ReadOnly)) return -1;
    const QByteArray line = stat.readAll();
    // The command name may hold blanks: the fields after it start past the last ')'.
    const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
    // Fields 14 and 15 of the line are 12 and 13 after the name and the state.
    if (fields.size() < 13) return -1;
    return fields[11].toLongLong() + fields[12].toLongLong();
}

// Lets the program run for ms milliseconds, idle in the event loop as it is in real use.
void wait(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const bool tone = argc == 5 && std::strcmp(argv[4], "tone") == 0;
    if (argc != 4 && !tone) {
        std::fprintf(stderr, "usage: %s FOLDER PORT SECONDS [tone]\n", argv[0]);
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);
    const QString port = QString::fromLocal8Bit(argv[2]);
    const int seconds = std::atoi(argv[3]);

    int messages = 0;
    sylvane::platform::setMessageHook([&](const sylvane::platform::MessageRequest& m) {
        ++messages;
        std::fprintf(stderr, "message: %s | %s\n", qPrintable(m.title), qPrintable(m.prompt));
        return int{sylvane::platform::vbOK};
    });

    if (tone && !sylvane::storage::writeExtraSettingsText(folder.toStdString(), "Tone=1\r\n")) {
        std::fprintf(stderr, "sylvane-extra.ini cannot be written\n");
        return 2;
    }
    sylvane::app::frmSylvane w({folder, {}});
    w.engine.state().awaitingStartValue = true;
    w.engine.state().colorLevel = 255;
    w.layoutReason = 1;
    w.LblParams[5]->setCaption(port);
    w.show();
    w.Timer1->start(200);
    w.mnuStart_Click();
    if (w.mnuStart->isEnabled()) {
        std::fprintf(stderr, "the session did not start\n");
        return 1;
    }

    const int redrawsAtStart = static_cast<int>(w.engine.counts().redraws);
    QElapsedTimer sinceStart;
    sinceStart.start();
    double latchedAfter = -1;
    QTimer latchWatch;
    QObject::connect(&latchWatch, &QTimer::timeout, [&] {
        if (latchedAfter < 0 && !w.engine.state().awaitingStartValue)
            latchedAfter = static_cast<double>(sinceStart.elapsed()) / 1000.0;
    });
    latchWatch.start(20);
    wait(5000);
    latchWatch.stop();

    const long long ticks0 = cpuTicks();
    const int records0 = w.engine.state().recordNumber;
    const int redraws0 = static_cast<int>(w.engine.counts().redraws);
    QElapsedTimer wall;
    wall.start();
    wait(seconds * 1000);
    const double elapsed = static_cast<double>(wall.elapsed()) / 1000.0;
    const long long ticks1 = cpuTicks();
    const int records1 = w.engine.state().recordNumber;
    const int redraws1 = static_cast<int>(w.engine.counts().redraws);
    const bool running = !w.mnuStart->isEnabled();
    const bool latched = !w.engine.state().awaitingStartValue;
    const QString reference = w.lblSysADCstart->caption().trimmed();
    w.mnuStop_Click();

    const double cpuSeconds = static_cast<double>(ticks1 - ticks0) / sysconf(_SC_CLK_TCK);
    std::printf("wall %.1f s, cpu %.2f s, %.2f %% of one core, %.1f readings recorded a second, "
                "session %s, %d messages%s\n",
                elapsed, cpuSeconds, 100.0 * cpuSeconds / elapsed, (records1 - records0) / elapsed,
                running ? "ran throughout" : "ended early", messages,
                tone ? (w.mnuTone->isChecked() ? ", tone on" : ", TONE NOT ON") : "");
    if (latchedAfter >= 0)
        std::printf("reference latched: yes, %.1f s after Start (ADC %s)", latchedAfter,
                    qPrintable(reference));
    else
        std::printf("reference latched: %s", latched ? "yes, but only while measuring" : "NO");
    std::printf("; readings recorded %d (%d while measuring); full redraws of the graph %d (%d "
                "while measuring)\n",
                records1 - 1, records1 - records0, redraws1 - redrawsAtStart, redraws1 - redraws0);
    if (latchedAfter < 0) {
        std::fprintf(stderr,
                     "\n*** FAILED: %s ***\nUntil it latches the graph is not scaled, drawn or "
                     "redrawn, so the figure above leaves out the graph's work. The probe must "
                     "send valid readings that repeat their value: is the simulator sending a "
                     "noisy signal (--noise) or invalid readings?\n",
                     latched ? "THE REFERENCE LATCHED ONLY AFTER THE WARM-UP"
                             : "THE REFERENCE NEVER LATCHED");
        return 3;
    }
    return running && messages == 0 ? 0 : 1;
}
