// Start-up and shut-down of the main window: the timer started, the settings read (or first-run
// defaults taken), then, once the window is painted, the previous run's working files cleared or
// its unfinished session recovered; at the close the normal display restored and the settings
// written.

#include "app/frm_sylvane.h"

#include "acquisition/serial_link.h"
#include "app/settings_file.h"
#include "display/layout_math.h"
#include "platform/label.h"
#include "platform/message_box.h"
#include "platform/number_rules.h"
#include "platform/twips.h"
#include "storage/extra_settings.h"
#include "storage/session_recovery.h"
#include "storage/unsaved_sessions.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QTimer>

#include <cerrno>
#include <cstring>

namespace sylvane::app {

namespace {

// The file is a few hundred bytes; a huge one is read no further than this.
constexpr qint64 kSettingsReadLimit = 1 << 20;

struct SettingsText {
    enum Outcome { Opened, NotFound, Failed } outcome = NotFound;
    QByteArray bytes;
    QString error;
};

SettingsText readSettingsText(const QString& path) {
    const QFileInfo info(path);
    if (!info.exists()) return {SettingsText::NotFound, {}, {}};
    // A folder, a pipe or a device in its place is no settings file; opening a pipe would
    // also hold the start until something writes to it.
    if (info.isDir())
        return {SettingsText::Failed, {}, QString::fromLocal8Bit(std::strerror(EISDIR))};
    if (!info.isFile()) return {SettingsText::Failed, {}, QStringLiteral("Not a regular file")};
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return {SettingsText::Failed, {}, file.errorString()};
    return {SettingsText::Opened, file.read(kSettingsReadLimit), {}};
}

// Write failures at close are not reported: the next start falls back to its defaults.
void writeSettingsText(const QString& path, const std::string& text) {
    const QFileInfo info(path);
    if (info.exists() && !info.isFile()) return;
    QSaveFile file(path);
    // A read-only folder with a writable file still gets its settings.
    file.setDirectWriteFallback(true);
    if (!file.open(QIODevice::WriteOnly)) return;
    if (file.write(text.data(), static_cast<qint64>(text.size())) !=
        static_cast<qint64>(text.size())) {
        file.cancelWriting();
    }
    file.commit();
}

QString fromStd(const std::string& s) {
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

// The last run's working files: a saved session cleared; an unsaved one kept (made whole when it
// never reached Stop) and said so, since the user may not know it is there; readings that cannot
// be read left as they are, with the reason.
void clearOrRecoverLastSession(frmSylvane& w) {
    using Found = storage::WorkingSessionRecovery::Found;
    storage::WorkingSessionRecovery r =
        storage::clearOrRecoverWorkingSession(w.programFolder().toStdString());
    if (r.found == Found::Unreadable) {
        QString prompt = QStringLiteral("The last session's readings cannot be read:");
        for (const std::string& problem : r.problems)
            prompt += QStringLiteral("\r\n") + fromStd(problem);
        prompt += QStringLiteral("\r\nNothing was deleted: the working files stay as they are.");
        platform::MsgBox(prompt, platform::vbOKOnly | platform::vbExclamation,
                         QStringLiteral("Working files error"));
        return;
    }
    if (r.found != Found::Kept) return;
    if (r.recovered && !r.headerWritten) w.workingFiles.keepUnwrittenHeader(std::move(r.header));
    w.mnuSaveFile->setEnabled(true);
    const QString readings = r.readings == 1 ? QStringLiteral("1 reading")
                                             : QStringLiteral("%1 readings").arg(r.readings);
    QString started;
    if (r.start) {
        started = QStringLiteral(", started %1")
                      .arg(QString::fromStdString(r.start->iso().substr(0, 19)).replace('T', ' '));
    }
    QString prompt =
        r.recovered
            ? QStringLiteral("The last session was not stopped: %1 were recovered%2.")
                  .arg(readings, started)
            : QStringLiteral("The last session was not saved: %1%2.").arg(readings, started);
    prompt +=
        QStringLiteral("\r\nFile > Save session keeps it; Session > Start first moves it to "
                       "%1.")
            .arg(QDir::toNativeSeparators(
                QDir(w.programFolder()).filePath(QString::fromLatin1(storage::kUnsavedFolder))));
    for (const std::string& problem : r.problems)
        prompt += QStringLiteral("\r\nNot mended: ") + fromStd(problem);
    platform::MsgBox(prompt,
                     platform::vbOKOnly |
                         (r.problems.empty() ? platform::vbInformation : platform::vbExclamation),
                     r.recovered ? QStringLiteral("Session recovered")
                                 : QStringLiteral("Unsaved session"));
}

} // namespace

void frmSylvane::Form_Load() {
    const QDir folder(m_programFolder);
    module1.appPath = m_programFolder;
    engine.state().colorLevel = 255;
    Timer1->setInterval(200);
    Timer1->start();
    engine.state().awaitingStartValue = true;
    DisplayInit();

    const std::array<QString*, kPanelEntryCount> visibility = {
        &iniPixGrafVisible,      &iniColorGrafVisible, &iniBarGrafVisible,
        &iniInternStatusVisible, &iniCommentsVisible,  &iniTimeVisible};
    const std::array<QAction*, kPanelEntryCount> items = {
        mnuPixGraf, mnuBarGrf, mnuSmlGraf, mnuInternStatus, mnuComments, mnuTimnStuf};
    const auto apply = [&](const SettingsValues& v) {
        iniPort = fromStd(v.port);
        iniSensitivity = fromStd(v.sensitivity);
        for (int i = 0; i < kPanelEntryCount; ++i) *visibility[i] = fromStd(v.visible[i]);
        panelUnits = v.panelUnits;
        formWidthSet = v.formWidth;
        formHeightSet = v.formHeight;
        formTopSet = v.formTop;
        formLeftSet = v.formLeft;
    };

    const QString path = folder.filePath(QString::fromLatin1(kSettingsFileName));
    const SettingsText settings = readSettingsText(path);
    if (settings.outcome == SettingsText::NotFound) {
        // The Display items stay as designed: all checked.
        const SettingsValues defaults =
            firstRunDefaults(platform::screenWidthTwips(), platform::screenHeightTwips());
        apply(defaults);
        platform::MsgBox(QStringLiteral("Need to select Comm Port"), platform::vbOKOnly,
                         QStringLiteral("No initialzation file found"));
        mnuSetComPort_Click();
        // The dialog lets timer ticks run, and one of them may arrange the window before its
        // first placement, from the size it was created with: the first placement is still
        // the default one.
        formWidthSet = defaults.formWidth;
        formHeightSet = defaults.formHeight;
        formTopSet = defaults.formTop;
        formLeftSet = defaults.formLeft;
        iniPort = LblParams[5]->caption();
    } else if (settings.outcome == SettingsText::Failed) {
        m_settingsUnreadable = true;
        platform::MsgBox(settings.error, platform::vbOKCancel | platform::vbExclamation,
                         QStringLiteral("Need to trap this error"));
        mnuExit_Click();
        return;
    } else {
        LblParams[6]->setVisible(false);
        SettingsValues before;
        before.port = iniPort.toStdString();
        before.sensitivity = iniSensitivity.toStdString();
        for (int i = 0; i < kPanelEntryCount; ++i) before.visible[i] = visibility[i]->toStdString();
        before.formWidth = formWidthSet;
        before.formHeight = formHeightSet;
        before.formTop = formTopSet;
        before.formLeft = formLeftSet;
        before.panelUnits = panelUnits;
        const SettingsValues read =
            readSettings(std::string_view(settings.bytes.constData(),
                                          static_cast<std::size_t>(settings.bytes.size())),
                         before);
        apply(read);
        for (int i = 0; i < kPanelEntryCount; ++i) items[i]->setChecked(isShown(read.visible[i]));
    }

    LblParams[5]->setCaption(iniPort);
    LblParams[3]->setCaption(iniSensitivity);
    layoutReason = display::kInitialPlacement;
    layoutPending = true;
    // Only once the settings could be read: a start that ends on unreadable settings leaves
    // the last session's files as they are.
    m_loadPending = true;
}

void frmSylvane::completeLoad() {
    if (!m_loadPending) return;
    // Before its message, whose box lets events run.
    m_loadPending = false;
    responseThreshold =
        storage::responseThresholdOf(storage::extraSettingsText(m_programFolder.toStdString()));
    responseCounter.setThreshold(responseThreshold);
    clearOrRecoverLastSession(*this);
}

void frmSylvane::paintEvent(QPaintEvent* event) {
    QMainWindow::paintEvent(event);
    // The window paints itself before its panels in the same pass, and the pass ends with the
    // picture on the screen; a call queued now runs after that.
    if (m_loadPending) QTimer::singleShot(0, this, &frmSylvane::completeLoad);
}

void frmSylvane::Form_QueryUnload() {
    iniPort = LblParams[5]->caption();
    iniSensitivity = LblParams[3]->caption();

    if (mnuSaveFile->text() == QStringLiteral("Resume normal display")) {
        // Leave the saved-session display first, so that the normal window and panels are
        // what is remembered.
        if (savedFormSizeSet && WindowState() == display::kNormalWindow) {
            setHeight(savedFormHeight);
            setWidth(savedFormWidth);
        }
        restoreSavedPanels();
    }

    SettingsValues v;
    v.port = iniPort.toStdString();
    v.sensitivity = iniSensitivity.toStdString();
    QString* const visibility[kPanelEntryCount] = {&iniPixGrafVisible,  &iniColorGrafVisible,
                                                   &iniBarGrafVisible,  &iniInternStatusVisible,
                                                   &iniCommentsVisible, &iniTimeVisible};
    for (int i = 0; i < kPanelEntryCount; ++i) {
        if (*visibility[i] != QLatin1String(kShown)) *visibility[i] = QLatin1String(kHidden);
        v.visible[i] = visibility[i]->toStdString();
    }
    formWidthSet = platform::nearest(Width());
    formHeightSet = platform::nearest(Height());
    formTopSet = platform::nearest(Top());
    formLeftSet = platform::nearest(Left());
    v.formWidth = formWidthSet;
    v.formHeight = formHeightSet;
    v.formTop = formTopSet;
    v.formLeft = formLeftSet;
    v.panelUnits = panelUnits;

    // Defaults written over a file that could not be read would lose the user's settings once
    // it can be read again.
    if (m_settingsUnreadable) return;
    writeSettingsText(QDir(m_programFolder).filePath(QString::fromLatin1(kSettingsFileName)),
                      writeSettings(v));
}

void frmSylvane::Form_Unload() {
    // Nothing runs after this: no more ticks, no more data.
    Timer1->stop();
    if (MSComm1->isOpen()) MSComm1->close();
    // A session still running keeps its readings: its header is written as Stop writes it, so
    // the working files stay a complete session that can be saved. A marker box still open
    // keeps its marker, as at Stop.
    if (engine.running()) {
        closeMarkerBox();
        QString comments = TxtSeshnComnts->Text();
        if (comments.isEmpty()) comments = QStringLiteral(" ");
        engine.stop(comments.toStdString(), nullptr);
    }
    workingFiles.close();
}

void frmSylvane::mnuExit_Click() {
    if (MSComm1->isOpen()) MSComm1->close();
    // The port and sensitivity dialogs are modal and deleted by the commands that open them,
    // so none is left to unload here.
    m_exitRequested = true;
    if (isVisible()) {
        close();
    } else if (!m_queryUnloadDone) {
        m_queryUnloadDone = true;
        Form_QueryUnload();
        Form_Unload();
    }
}

} // namespace sylvane::app
