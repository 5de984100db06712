// Export and the skin responses. File > "Export as CSV...", "Export as EDF+..." and "Export
// responses as CSV..." write the stopped working session, or each saved session on show, to a
// file chosen in the standard file dialog; enabled whenever Save session is (no session running).
// The readouts panel shows the count of skin conductance responses of the session so far.

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

// Writes through QSaveFile, so that a failure leaves no file; write() hands the bytes to the
// sink it is given.
bool saveCsv(const QString& path, std::string* error,
             const std::function<bool(const storage::CsvFormat::Sink&, std::string*)>& write) {
    QSaveFile file(path);
    const auto failed = [&](const QString& reason) {
        *error = "Could not export " + path.toStdString() + ": " + reason.toStdString();
        return false;
    };
    if (!file.open(QIODevice::WriteOnly)) return failed(file.errorString());
    const storage::CsvFormat::Sink sink = [&file](std::string_view bytes, std::string* why) {
        if (file.write(bytes.data(), static_cast<qint64>(bytes.size())) ==
            static_cast<qint64>(bytes.size()))
            return true;
        if (why) *why = file.errorString().toStdString();
        return false;
    };
    std::string reason;
    if (!write(sink, &reason)) {
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
    mnuExportResponses = mnuFile->addAction(QStringLiteral("Export responses as CSV..."));
    mnuExportResponses->setObjectName(QStringLiteral("mnuExportResponses"));
    // They follow Save session: enabled after Stop and while saved sessions are on show.
    for (QAction* item : {mnuExportCsv, mnuExportEdf, mnuExportResponses}) {
        item->setEnabled(mnuSaveFile->isEnabled());
        connect(mnuSaveFile, &QAction::enabledChanged, item, &QAction::setEnabled);
    }
    connect(mnuExportCsv, &QAction::triggered, this, [this] { mnuExportCsv_Click(); });
    connect(mnuExportEdf, &QAction::triggered, this, [this] { mnuExportEdf_Click(); });
    connect(mnuExportResponses, &QAction::triggered, this, [this] { mnuExportResponses_Click(); });

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

void frmSylvane::mnuExportResponses_Click() {
    exportSessions(ExportKind::Responses);
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

    const bool edf = kind == ExportKind::Edf;
    const QString extension = edf ? QStringLiteral(".edf") : QStringLiteral(".csv");
    const QString filter =
        edf ? QStringLiteral("EDF+ files (*.edf)") : QStringLiteral("CSV files (*.csv)");
    // The file is read at each export, so that a change takes effect at once.
    const storage::ResponseSettings settings =
        storage::responseSettingsOf(storage::extraSettingsText(m_programFolder.toStdString()));
    storage::ExportOptions options;
    options.responseThreshold = settings.thresholdMicrosiemens;
    const analysis::ResponseWindow window{settings.windowFromSeconds, settings.windowToSeconds};
    for (const Choice& c : chosen) {
        QString caption = QStringLiteral("Export %1 as CSV");
        if (kind == ExportKind::Edf) caption = QStringLiteral("Export %1 as EDF+");
        if (kind == ExportKind::Responses) caption = QStringLiteral("Export the responses of %1");
        caption = caption.arg(c.name);
        const QString folder =
            c.working ? module1.appPath
                      : QFileInfo(QString::fromStdString(c.source.tst.string())).absolutePath();
        const QString suggested =
            QDir(folder.isEmpty() ? m_programFolder : folder)
                .filePath(
                    c.name +
                    (kind == ExportKind::Responses ? QStringLiteral("-responses") : QString()) +
                    extension);
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

        std::vector<std::string> notes = settings.problems;
        notes.insert(notes.end(), session.notes.begin(), session.notes.end());
        bool written = false;
        if (kind == ExportKind::Csv) {
            written = saveCsv(path, &error, [&](const auto& sink, std::string* why) {
                storage::CsvFormat csv(sink);
                return storage::exportSession(session, csv, why);
            });
        } else if (kind == ExportKind::Responses) {
            if (session.markers.empty())
                notes.push_back("The session has no markers: the file holds the header row alone.");
            written = saveCsv(path, &error, [&](const auto& sink, std::string* why) {
                return storage::writeResponsesCsv(session, window, sink, why);
            });
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
