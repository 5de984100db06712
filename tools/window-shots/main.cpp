// Takes PNG screenshots of the main window, started from a settings file in a fresh program
// folder: all panels with the bars and lamps lit, only the picture graph, and a narrow window.

#include "app/frm_sylvane.h"
#include "app/settings_file.h"
#include "platform/twips.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cstdio>

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

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: window-shots <output folder>\n");
        return 2;
    }
    const QDir out(QString::fromLocal8Bit(argv[1]));
    if (!out.exists() && !QDir().mkpath(out.path())) {
        std::fprintf(stderr, "window-shots: cannot create %s\n", argv[1]);
        return 1;
    }

    QTemporaryDir folder;
    const std::string ini = sylvane::app::writeSettings(sylvane::app::firstRunDefaults(
        sylvane::platform::screenWidthTwips(), sylvane::platform::screenHeightTwips()));
    QFile file(QDir(folder.path()).filePath(QStringLiteral("sylvane.ini")));
    if (!file.open(QIODevice::WriteOnly) ||
        file.write(ini.data(), static_cast<qint64>(ini.size())) !=
            static_cast<qint64>(ini.size())) {
        std::fprintf(stderr, "window-shots: cannot write %s\n", qPrintable(file.fileName()));
        return 1;
    }
    file.close();

    frmSylvane w({folder.path(), {}});
    w.Form_Load();
    w.show();
    arrange(w);
    bool ok = true;

    // A level away from the neutral point, as a session shows it: red cells, lamps in band 7.
    w.awaitingStartValue = false;
    w.colorLevel = 300;
    w.DisplayUpdate();
    ok &= save(w, out, "all_panels.png");

    for (QAction* item :
         {w.mnuBarGrf, w.mnuSmlGraf, w.mnuInternStatus, w.mnuComments, w.mnuTimnStuf}) {
        item->trigger();
    }
    arrange(w);
    ok &= save(w, out, "graph_only.png");

    for (QAction* item :
         {w.mnuBarGrf, w.mnuSmlGraf, w.mnuInternStatus, w.mnuComments, w.mnuTimnStuf}) {
        item->trigger();
    }
    w.setHeight(sylvane::platform::screenHeightTwips() * 0.4);
    arrange(w);
    w.colorLevel = 120;
    w.DisplayUpdate();
    ok &= save(w, out, "narrow.png");
    return ok ? 0 : 1;
}
