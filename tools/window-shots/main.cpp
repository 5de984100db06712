// Takes PNG screenshots of the main window, started from a settings file in a fresh program
// folder: all panels with the bars and lamps lit, only the picture graph, and a narrow window.
// With --live FOLDER SECONDS [MARKS] it instead starts a session on COM2 of FOLDER (where
// probe-sim --folder FOLDER --port 2 runs) and takes one screenshot after that many seconds,
// having marked MARKS events (Session > Mark) at even times in between.

#include "app/frm_sylvane.h"
#include "app/settings_file.h"
#include "platform/label.h"
#include "platform/twips.h"

#include <QAction>
#include <QApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTime>

#include <cstdio>
#include <cstdlib>

namespace {

using sylvane::app::frmSylvane;

void arrange(frmSylvane& w) {
    QApplication::processEvents();
    if (w.layoutPending) {
        w.ArrangePanels();
        w.layoutPending = false;
    }
    QApplication::processEvents();
}

bool save(frmSylvane& w, const QDir& out, const char* name) {
    const QString path = out.filePath(QString::fromLatin1(name));
    const bool ok = w.grab().save(path);
    std::printf("%s %s: window %.0f x %.0f twips at %.0f, %.0f\n", ok ? "wrote" : "FAILED",
                qPrintable(path), w.Width(), w.Height(), w.Left(), w.Top());
    return ok;
}

bool writeDefaultSettings(const QString& folder) {
    const std::string ini = sylvane::app::writeSettings(sylvane::app::firstRunDefaults(
        sylvane::platform::screenWidthTwips(), sylvane::platform::screenHeightTwips()));
    QFile file(QDir(folder).filePath(QStringLiteral("sylvane.ini")));
    const auto size = static_cast<qint64>(ini.size());
    if (!file.open(QIODevice::WriteOnly) || file.write(ini.data(), size) != size) {
        std::fprintf(stderr, "window-shots: cannot write %s\n", qPrintable(file.fileName()));
        return false;
    }
    return true;
}

int liveShot(const QDir& out, const QString& folder, double seconds, int marks) {
    if (!writeDefaultSettings(folder)) return 1;
    frmSylvane w({folder, {}});
    w.Form_Load();
    w.show();
    arrange(w);
    w.mnuStart_Click();
    for (int k = 1; k <= marks + 1; ++k) {
        QDeadlineTimer until(static_cast<qint64>(seconds * 1000 / (marks + 1)));
        while (!until.hasExpired()) QApplication::processEvents(QEventLoop::AllEvents, 50);
        if (k > marks) break;
        sylvane::storage::Marker marker = w.markers.at();
        marker.text = "event " + std::to_string(k);
        w.markers.add(marker);
    }
    std::printf("colour level %.1f, resistance %s\n",
                static_cast<double>(w.engine.state().colorLevel),
                qPrintable(w.LblShnStf[3]->caption()));
    const bool ok = save(w, out, "live_session.png");
    w.mnuStop_Click();
    return ok ? 0 : 1;
}

int fixedShots(const QDir& out) {
    QTemporaryDir folder;
    if (!writeDefaultSettings(folder.path())) return 1;
    frmSylvane w({folder.path(), {}});
    w.Form_Load();
    w.show();
    arrange(w);
    bool ok = true;

    // A level away from the neutral point, as a session shows it: red cells, lamps in band 7.
    w.engine.state().awaitingStartValue = false;
    w.engine.state().colorLevel = 300;
    w.DisplayUpdate();
    ok &= save(w, out, "all_panels.png");

    const auto toggleAllButTheGraph = [&w] {
        for (QAction* item :
             {w.mnuBarGrf, w.mnuSmlGraf, w.mnuInternStatus, w.mnuComments, w.mnuTimnStuf}) {
            item->trigger();
        }
    };
    toggleAllButTheGraph();
    arrange(w);
    ok &= save(w, out, "graph_only.png");

    toggleAllButTheGraph();
    w.setHeight(sylvane::platform::screenHeightTwips() * 0.4);
    arrange(w);
    w.engine.state().colorLevel = 120;
    w.DisplayUpdate();
    ok &= save(w, out, "narrow.png");
    return ok ? 0 : 1;
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const bool live =
        (argc == 5 || argc == 6) && QString::fromLatin1(argv[2]) == QLatin1String("--live");
    if (argc != 2 && !live) {
        std::fprintf(stderr,
                     "usage: window-shots <output folder> [--live FOLDER SECONDS [MARKS]]\n");
        return 2;
    }
    const QDir out(QString::fromLocal8Bit(argv[1]));
    if (!out.exists() && !QDir().mkpath(out.path())) {
        std::fprintf(stderr, "window-shots: cannot create %s\n", argv[1]);
        return 1;
    }
    if (live)
        return liveShot(out, QString::fromLocal8Bit(argv[3]), std::atof(argv[4]),
                        argc == 6 ? std::atoi(argv[5]) : 0);
    return fixedShots(out);
}
