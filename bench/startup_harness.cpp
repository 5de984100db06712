// How long the program takes to come up and to show its first reading:
//   exec -> first painted window   the process is started as the program starts (so loading the
//                                  libraries, Qt's platform plugin and the fonts are counted)
//                                  and runs the program's own start-up: the window, Form_Load
//                                  with a settings file, show, until the window's first paint;
//   Start -> first reading shown   Session > Start with the probe simulator on COM2 at the line's
//                                  full rate, until the resistance readout shows a reading.
// Each figure is the median of a few runs. Prints one line per figure:
//     startup <name> <milliseconds>
//
//     sylvane_startup_harness [RUNS]
//
// Uses the display of the environment (QT_QPA_PLATFORM, or offscreen when none is set).

#include "app/frm_sylvane.h"
#include "app/settings_file.h"
#include "platform/label.h"
#include "platform/message_box.h"

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

double monotonicMs() {
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<double>(t.tv_sec) * 1000.0 + static_cast<double>(t.tv_nsec) / 1e6;
}

// The first paint of a watched widget.
struct FirstPaint : QObject {
    double at = -1;
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::Paint && at < 0) at = monotonicMs();
        return false;
    }
};

// The child: the program's start-up, then a session. Prints the times it saw.
int child(int argc, char** argv, const QString& folder) {
    QApplication app(argc, argv);
    sylvane::platform::setMessageHook([](const sylvane::platform::MessageRequest& m) {
        std::fprintf(stderr, "message: %s | %s\n", qPrintable(m.title), qPrintable(m.prompt));
        return int{sylvane::platform::vbOK};
    });
    sylvane::app::frmSylvane window({folder, {}});
    FirstPaint paint;
    window.installEventFilter(&paint);
    window.Form_Load();
    window.show();
    while (paint.at < 0) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    std::printf("painted %.3f\n", paint.at);

    const double start = monotonicMs();
    window.mnuStart_Click();
    const QString before = window.LblShnStf[3]->caption();
    while (window.LblShnStf[3]->caption() == before && monotonicMs() - start < 20000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
    std::printf("reading %.3f\n", monotonicMs() - start);
    std::fflush(stdout);
    window.mnuStop_Click();
    return 0;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? -1 : v[v.size() / 2];
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    if (argc == 3 && std::string(argv[1]) == "--child")
        return child(argc, argv, QString::fromLocal8Bit(argv[2]));

    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    QCoreApplication app(argc, argv);
    QTemporaryDir folder;
    QFile ini(folder.filePath(QString::fromLatin1(sylvane::app::kSettingsFileName)));
    sylvane::app::SettingsValues v = sylvane::app::firstRunDefaults(15360, 11520);
    if (!ini.open(QIODevice::WriteOnly) ||
        ini.write(QByteArray::fromStdString(sylvane::app::writeSettings(v))) < 0) {
        std::fprintf(stderr, "cannot write the settings file\n");
        return 1;
    }
    ini.close();
    QProcess sim;
    sim.start(QStringLiteral(SYLVANE_PROBE_SIM),
              {"--folder", folder.path(), "--port", "2", "--rate", "53"});
    if (!sim.waitForReadyRead(10000)) {
        std::fprintf(stderr, "the probe simulator did not start\n");
        return 1;
    }

    std::vector<double> painted, reading;
    for (int run = 0; run < runs; ++run) {
        QProcess program;
        program.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        const double launched = monotonicMs();
        program.start(QCoreApplication::applicationFilePath(), {"--child", folder.path()});
        if (!program.waitForFinished(60000)) {
            std::fprintf(stderr, "the program did not come up\n");
            return 1;
        }
        for (const QByteArray& line : program.readAllStandardOutput().split('\n')) {
            if (line.startsWith("painted ")) painted.push_back(line.mid(8).toDouble() - launched);
            if (line.startsWith("reading ")) reading.push_back(line.mid(8).toDouble());
        }
    }
    sim.terminate();
    sim.waitForFinished(5000);
    std::printf("startup first-painted-window %.1f\n", median(painted));
    std::printf("startup start-to-first-reading %.1f\n", median(reading));
    return painted.size() == static_cast<std::size_t>(runs) &&
                   reading.size() == static_cast<std::size_t>(runs)
               ? 0
               : 1;
}
