// Export and the skin-response count. File > "Export as CSV..." and "Export as EDF+..." write
// the stopped working session, or each saved session on show, to a file chosen in the standard
// file dialog; enabled whenever Save session is (no session running). The readouts panel shows
// the count of skin conductance responses of the session so far.

#include "app/frm_sylvane.h"
#include "display/layout_math.h"
#include "platform/label.h"
#include "platform/message_box.h"
#include "platform/twips.h"
#include "storage/csv_export.h"
#include "storage/edf_export.h"
#include "storage/saved_sessions.h"

#include <QAction>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMenu>
#include <QSaveFile>

namespace sylvane::app {

namespace {

const QString kExportTitle = QStringLiteral("Export");
const QString kExportErrorTitle = QStringLiteral("Export error");

QString fromStd(const std::string& text) {
    return QString::fromStdString(text);
}

void warn(const QString& prompt, const QString& title) {
    platform::MsgBox(prompt, platform::vbOKOnly | platform::vbExclamation, title);
}

bool exportCsv(const storage::ExportedSession& session, const QString& path, std::string* error) {
    QSaveFile file(path);
    const auto failed = [&](const QString& reason) {
        *error = "Could not export " + path.toStdString() + ": " + reason.toStdString();
        return false;
    };
    if (!file.open(QIODevice::WriteOnly)) return failed(file.errorString());
    storage::CsvFormat csv([&file](std::string_view bytes, std::string* why) {
        if (file.write(bytes.data(), static_cast<qint64>(bytes.size())) ==
            static_cast<qint64>(bytes.size()))
            return true;
        if (why) *why = file.errorString().toStdString();
        return false;
    });
    std::string reason;
    if (!storage::exportSession(session, csv, &reason)) {
        file.cancelWriting();
        return failed(fromStd(reason));
    }
    if (!file.commit()) return failed(file.errorString());
    return true;
}

} // namespace

void frmSylvane::composeExport() {
    mnuSep3 = mnuFile->addSeparator();
    mnuSep3->setObjectName(QStringLiteral("mnuSep3"));
    mnuExportCsv = mnuFile->addAction(QStringLiteral("Export as CSV..."));
    mnuExportCsv->setObjectName(QStringLiteral("mnuExportCsv"));
    mnuExportEdf = mnuFile->addAction(QStringLiteral("Export as EDF+..."));
    mnuExportEdf->setObjectName(QStringLiteral("mnuExportEdf"));
    // Both follow Save session: enabled after Stop and while saved sessions are on show.
    for (QAction* item : {mnuExportCsv, mnuExportEdf}) {
        item->setEnabled(mnuSaveFile->isEnabled());
        connect(mnuSaveFile, &QAction::enabledChanged, item, &QAction::setEnabled);
    }
    connect(mnuExportCsv, &QAction::triggered, this, [this] { mnuExportCsv_Click(); });
    connect(mnuExportEdf, &QAction::triggered, this, [this] { mnuExportEdf_Click(); });

    const char* captions[2] = {"SCR", "0"};
    for (int i = 0; i < 2; ++i) {
        lblResponses[i] = new Label(QStringLiteral("lblResponses(%1)").arg(i), frameSesshnStuff);
        lblResponses[i]->setCaption(QString::fromLatin1(captions[i]));
        lblResponses[i]->setFont(LblShnStf[i]->font());
        lblResponses[i]->setAlignment(i == 0 ? Qt::AlignRight | Qt::AlignVCenter : Qt::AlignCenter);
        lblResponses[i]->setSingleBorder(i == 1);
        lblResponses[i]->setToolTipText(
            QStringLiteral("Skin conductance responses in this session"));
        const display::Rect r = display::responseRect(i, 720, 7935);
        platform::setTwipsGeometry(lblResponses[i], r.left, r.top, r.width, r.height);
    }

    responseCounter.setThreshold(responseThreshold);
    responseCounter.shown = [this](int count) {
        lblResponses[1]->setCaption(QString::number(count));
    };
    engine.addFollower(&responseCounter);
    engine.addFollower(&sessionTimes);
}

void frmSylvane::mnuExportCsv_Click() {
    exportSessions(ExportKind::Csv);
}

void frmSylvane::mnuExportEdf_Click() {
    exportSessions(ExportKind::Edf);
}

void frmSylvane::exportSessions(ExportKind kind) {
    completeLoad();
    struct Choice {
        storage::ExportSource source;
        QString name;
        bool working;
    };
    std::vector<Choice> chosen;
    if (module1.displayMode) {
        for (int k = 0; k < std::min<int>(module1.displayFileCount, 6); ++k) {
            const auto i = static_cast<std::size_t>(k);
            const std::string hdr = module1.displayHdrFiles[i].toStdString();
            chosen.push_back(
                {storage::ExportSource::saved(module1.displayTstFiles[i].toStdString(), hdr),
                 fromStd(storage::savedSessionName(hdr)), false});
        }
    } else {
        const QFileInfo readings(
            QDir(m_programFolder).filePath(QString::fromLatin1(storage::kWorkingTst)));
        if (!readings.isFile() || readings.size() == 0) {
            platform::MsgBox(QStringLiteral("There is no session data to export!"));
            return;
        }
        chosen.push_back({storage::ExportSource::working(m_programFolder.toStdString()),
                          QStringLiteral("session"), true});
    }

    const bool csv = kind == ExportKind::Csv;
    const QString extension = csv ? QStringLiteral(".csv") : QStringLiteral(".edf");
    const QString filter =
        csv ? QStringLiteral("CSV files (*.csv)") : QStringLiteral("EDF+ files (*.edf)");
    storage::ExportOptions options;
    options.responseThreshold = responseThreshold;
    for (const Choice& c : chosen) {
        const QString caption =
            (csv ? QStringLiteral("Export %1 as CSV") : QStringLiteral("Export %1 as EDF+"))
                .arg(c.name);
        const QString folder =
            c.working ? module1.appPath
                      : QFileInfo(QString::fromStdString(c.source.tst.string())).absolutePath();
        const QString suggested =
            QDir(folder.isEmpty() ? m_programFolder : folder).filePath(c.name + extension);
        const QString path =
            exportFileChooser
                ? exportFileChooser(caption, suggested, filter)
                : QFileDialog::getSaveFileName(this, caption, suggested, filter, nullptr,
                                               QFileDialog::DontConfirmOverwrite);
        // Cancelling the dialog ends the export.
        if (path.isEmpty()) return;
        if (QFileInfo::exists(path) &&
            platform::MsgBox(
                path + QStringLiteral(" already exists.\r\nDo you want to replace it?"),
                platform::vbYesNo | platform::vbQuestion, kExportTitle) != platform::vbYes)
            continue;

        storage::ExportedSession session;
        std::string error;
        if (!storage::loadSession(c.source, options, &session, &error)) {
            warn(fromStd(error), kExportErrorTitle);
            continue;
        }
        // The comments as they stand now, as Save would keep them.
        if (c.working) session.comments = TxtSeshnComnts->Text().toStdString();

        std::vector<std::string> notes = session.notes;
        bool written = false;
        if (csv) {
            written = exportCsv(session, path, &error);
        } else {
            storage::EdfFormat edf(path.toStdString());
            written = storage::exportSession(session, edf, &error);
            notes.insert(notes.end(), edf.notes().begin(), edf.notes().end());
        }
        if (!written) {
            warn(fromStd(error), kExportErrorTitle);
        } else if (!notes.empty()) {
            QString text = path + QStringLiteral(" was written with what could be read:");
            for (const std::string& note : notes) text += QStringLiteral("\r\n") + fromStd(note);
            warn(text, kExportTitle);
        }
    }
}

} // namespace sylvane::app
