// How long the program takes to come up and to show its first reading:
//   exec -> first painted window   the process is started as the program starts (so loading the
//                                  libraries, Qt's platform plugin and the fonts are counted)
//                                  and runs the program's own start-up as main() does: the
//                                  folder's lock, the window, Form_Load with a settings file and
//                                  the working files of a stopped session that was not saved,
//                                  show, until the end of the window's first paint (the picture
//                                  on the screen); also the processor time used until then;
//   the same for an empty window   a QMainWindow with nothing in it, shown by a process started
//                                  the same way, runs alternating with the program's so that both
//                                  share the machine's conditions; the program's time over this
//                                  one is what the program's start-up adds to Qt's;
//   Start -> first reading shown   Session > Start with the probe simulator on COM2 at the line's
//                                  full rate, until the resistance readout shows a reading.
// Each figure is the median of RUNS runs (15 by default), after one run of each that is not
// counted (it warms the disk cache and leaves the working files every later run finds). Prints
// one line per figure:
//     startup <name> <value>
//
//     sylvane_startup_harness [RUNS]
//
// Uses the display of the environment (QT_QPA_PLATFORM, or offscreen when none is set).

#include "app/frm_sylvane.h"
#include "app/program_lock.h"
#include "app/settings_file.h"
#include "app/termination_signals.h"
#include "platform/font_warm_up.h"
#include "platform/label.h"
#include "platform/message_box.h"
#include "platform/program_style.h"
#include "platform/version.h"

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QMainWindow>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <sys/resource.h>
#include <time.h>

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

// The end of the first paint of a watched window: the window's paint event comes first, its
// children's follow in the same pass, and the picture reaches the screen at the end of it; a call
// queued at its start runs once the pass is over.
struct FirstPaint : QObject {
    double at = -1;
    bool queued = false;
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::Paint && !queued) {
            queued = true;
            QMetaObject::invokeMethod(
                this, [this] { at = monotonicMs(); }, Qt::QueuedConnection);
        }
        return false;
    }
};

// Prints when the window was painted, and the processor time (user and system, all threads)
// the process had used by then.
void waitForPaint(const FirstPaint& paint) {
    while (paint.at < 0) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    rusage used{};
    getrusage(RUSAGE_SELF, &used);
    const auto ms = [](const timeval& t) {
        return static_cast<double>(t.tv_sec) * 1000.0 + static_cast<double>(t.tv_usec) / 1000.0;
    };
    std::printf("painted %.3f\ncpu %.3f\n", paint.at, ms(used.ru_utime) + ms(used.ru_stime));
    std::fflush(stdout);
}

// The program's start-up as main() runs it (app/main.cpp; keep the two in step), then a session.
// Prints the times it saw.
int programChild(int argc, char** argv, const QString& folder) {
    sylvane::platform::FontWarmUp fonts;
    QApplication app(argc, argv);
    QApplication::setApplicationName(QString::fromLatin1(sylvane::platform::kAppTitle));
    QGuiApplication::setDesktopFileName(QStringLiteral("org.sylvane.Interface"));
    sylvane::platform::setMessageHook([](const sylvane::platform::MessageRequest& m) {
        std::fprintf(stderr, "message: %s | %s\n", qPrintable(m.title), qPrintable(m.prompt));
        return int{sylvane::platform::vbOK};
    });
    sylvane::app::ProgramFolderLock lock(folder);
    if (!lock.take()) return 1;
    fonts.join();
    sylvane::platform::useProgramStyle();
    sylvane::app::frmSylvane window({folder, {}});
    sylvane::app::closeOnTerminationSignals(window);
    FirstPaint paint;
    window.installEventFilter(&paint);
    window.Form_Load();
    window.show();
    waitForPaint(paint);

    // Start as the user chooses it: from the event loop, after what start-up left to it.
    double start = -1;
    QTimer::singleShot(0, &window, [&] {
        start = monotonicMs();
        window.mnuStart->trigger();
    });
    while (start < 0) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    const QString before = window.LblShnStf[3]->caption();
    while (window.LblShnStf[3]->caption() == before && monotonicMs() - start < 20000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
    std::printf("reading %.3f\n", monotonicMs() - start);
    std::fflush(stdout);
    window.mnuStop_Click();
    return 0;
}

// Qt's own start-up: an empty main window.
int emptyChild(int argc, char** argv) {
    QApplication app(argc, argv);
    QMainWindow window;
    FirstPaint paint;
    window.installEventFilter(&paint);
    window.show();
    waitForPaint(paint);
    return 0;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? -1 : v[v.size() / 2];
}

struct Figures {
    std::vector<double> painted, cpu, reading;
};

// Runs a child of this program to its end and adds what it printed: the first paint (as
// milliseconds after its start), the processor time until then, the first reading.
bool runChild(const QStringList& arguments, Figures* figures) {
    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    const double launched = monotonicMs();
    child.start(QCoreApplication::applicationFilePath(), arguments);
    if (!child.waitForFinished(60000) || child.exitCode() != 0) {
        std::fprintf(stderr, "%s did not come up\n", qPrintable(arguments.join(' ')));
        return false;
    }
    if (!figures) return true;
    for (const QByteArray& line : child.readAllStandardOutput().split('\n')) {
        if (line.startsWith("painted "))
            figures->painted.push_back(line.mid(8).toDouble() - launched);
        if (line.startsWith("cpu ")) figures->cpu.push_back(line.mid(4).toDouble());
        if (line.startsWith("reading ")) figures->reading.push_back(line.mid(8).toDouble());
    }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    if (argc == 3 && std::string(argv[1]) == "--program")
        return programChild(argc, argv, QString::fromLocal8Bit(argv[2]));
    if (argc == 2 && std::string(argv[1]) == "--empty") return emptyChild(argc, argv);

    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 15;
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

    const QStringList program = {"--program", folder.path()};
    const QStringList empty = {"--empty"};
    bool ok = runChild(program, nullptr) && runChild(empty, nullptr);
    Figures p, e;
    for (int run = 0; ok && run < runs; ++run) {
        // Which goes first alternates too, so that neither always follows the other.
        if (run % 2 == 0) {
            ok = runChild(program, &p) && runChild(empty, &e);
        } else {
            ok = runChild(empty, &e) && runChild(program, &p);
        }
    }
    sim.terminate();
    sim.waitForFinished(5000);
    const double programMs = median(p.painted);
    const double emptyMs = median(e.painted);
    std::printf("startup first-painted-window %.1f\n", programMs);
    std::printf("startup empty-window %.1f\n", emptyMs);
    std::printf("startup ratio-to-empty-window %.2f\n", emptyMs > 0 ? programMs / emptyMs : -1);
    std::printf("startup cpu-first-painted-window %.1f\n", median(p.cpu));
    std::printf("startup cpu-empty-window %.1f\n", median(e.cpu));
    std::printf("startup start-to-first-reading %.1f\n", median(p.reading));
    const auto all = static_cast<std::size_t>(runs);
    return ok && p.painted.size() == all && e.painted.size() == all && p.reading.size() == all ? 0
                                                                                               : 1;
}
