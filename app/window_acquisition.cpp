// The session as the window runs it: the receive event, Start, Stop and Restart, the 200 ms tick,
// and what the session engine gives the window to show. The order of each event is the engine's.

#include "acquisition/serial_link.h"
#include "app/frm_sylvane.h"
#include "app/window_followers.h"
#include "display/color_levels.h"
#include "platform/label.h"
#include "platform/message_box.h"
#include "platform/number_rules.h"
#include "platform/twips.h"
#include "platform/vb_colors.h"
#include "storage/extra_settings.h"
#include "storage/unsaved_sessions.h"

#include <QAction>
#include <QDir>

namespace sylvane::app {

namespace {

const QString kPortToolTip = QStringLiteral("Click here to select port number");

// The probe's frames are read 20 times a second, in the batches that came in meanwhile: the
// readouts and the graph change as often as the eye can follow, the program sleeps between, and
// Timer1's 200 ms fall on the same wake-ups as every fourth read.
constexpr int kReadPaceMs = 50;

QString fromView(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

} // namespace

bool frmSylvane::sessionRunning() const {
    return !mnuStart->isEnabled();
}

// ---- the receive event and the tick ----

void frmSylvane::OnComm() {
    if (MSComm1->commEvent() != acquisition::SerialLink::comEvReceive) return;
    const QByteArray input = MSComm1->Input();
    engine.receive({reinterpret_cast<const std::uint8_t*>(input.constData()),
                    static_cast<std::size_t>(input.size())},
                   MSComm1->arrivalSeconds());
}

void frmSylvane::Timer1_Timer() {
    engine.tick(clockSeconds());

    if (layoutReason != 1 && WindowState() != 1) {
        const std::uint8_t reason = acquisition::resizeReason(
            Width(), Height(), formWidthSet, formHeightSet, platform::twipsPerPixel());
        if (reason != 0) {
            layoutReason = reason;
            layoutPending = true;
        }
    }

    if (delayTicks > 0) delayTicks -= 1;

    // The layout lets events run while the panels are hidden; a tick arriving then must not
    // start a second layout inside the first.
    if (layoutPending && !m_arrangingPanels) {
        m_arrangingPanels = true;
        ArrangePanels();
        m_arrangingPanels = false;
        layoutPending = false;
    }
}

// ---- Start, Stop, Restart ----

bool frmSylvane::keepUnsavedSession(std::string* error) {
    const std::string folder = m_programFolder.toStdString();
    if (!storage::unsavedWorkingSession(folder)) return true;
    // The comments as Save would keep them.
    QString comments = TxtSeshnComnts->Text();
    if (comments.isEmpty()) comments = QStringLiteral(" ");
    const auto kept = storage::unsavedKeptOf(storage::extraSettingsText(folder));
    const auto& unwritten = workingFiles.unwrittenHeader();
    return storage::keepUnsavedSession(folder, comments.toStdString(),
                                       unwritten ? &*unwritten : nullptr, kept.sessions, nullptr,
                                       error);
}

void frmSylvane::mnuStart_Click() {
    // The last session is recovered before Start moves it aside.
    completeLoad();
    stopWaitingForProbe();
    mnuSaveFile->setEnabled(false);
    mnuDisplayOld->setEnabled(false);
    mnuStart->setEnabled(false);
    mnuSetComPort->setEnabled(false);
    LblParams[5]->setBackColor(platform::kInactiveCaptionText);
    LblParams[5]->setToolTipText(QString());
    mnuStop->setEnabled(true);
    mnuRestart->setEnabled(true);
    mnuMark->setEnabled(true);

    applyExtraSettingsAtStart();
    std::string error;
    std::string notKept;
    // An unsaved session is moved aside once the port is open (a refused port leaves it where it
    // is) and before the working files are, all before the first frame is read.
    const auto openPort = [this, &notKept] {
        return openPortForStart() && keepUnsavedSession(&notKept);
    };
    switch (engine.start(clockSeconds(), openPort, &error)) {
    case acquisition::SessionEngine::StartOutcome::Started:
        tellExtraSettingsProblems();
        break;
    case acquisition::SessionEngine::StartOutcome::PortRefused: {
        if (!notKept.empty()) {
            abandonStart(QStringLiteral("The last session was not saved, and it could not be "
                                        "kept in %1:\r\n")
                                 .arg(QDir::toNativeSeparators(
                                     QDir(m_programFolder)
                                         .filePath(QString::fromLatin1(storage::kUnsavedFolder)))) +
                             QString::fromStdString(notKept) +
                             QStringLiteral("\r\nFile > Save session keeps it.\r\nSession not "
                                            "started."),
                         QStringLiteral("Working files error"));
            break;
        }
        QString reason = MSComm1->errorString();
        if (reason.isEmpty())
            reason = QStringLiteral("COM%1 could not be opened.").arg(MSComm1->commPort());
        abandonStart(reason + QStringLiteral("\r\nSession not started."),
                     QStringLiteral("Serial port error"));
        break;
    }
    case acquisition::SessionEngine::StartOutcome::FilesRefused:
        abandonStart(QStringLiteral("The working files could not be created:\r\n") +
                         QString::fromStdString(error) + QStringLiteral("\r\nSession not started."),
                     QStringLiteral("Working files error"));
        break;
    }
}

bool frmSylvane::openPortForStart() {
    if (platform::numericValue(LblParams[5]->caption().toStdString()) == 0)
        LblParams[5]->setCaption(QStringLiteral("2"));
    MSComm1->setCommPort(
        platform::nearest16(platform::numericValue(LblParams[5]->caption().toStdString())));
    MSComm1->setSettings(QStringLiteral("4800,N,8,1"));
    MSComm1->setInputLen(9);
    MSComm1->setRThreshold(9);
    MSComm1->setReadInterval(kReadPaceMs);
    if (!MSComm1->open()) return false;
    MSComm1->setDTREnable(false);
    MSComm1->setRTSEnable(true);
    return true;
}

void frmSylvane::showStoppedControls() {
    mnuStart->setEnabled(true);
    mnuSetComPort->setEnabled(true);
    LblParams[5]->setBackColor(platform::kWindowBackground);
    LblParams[5]->setToolTipText(kPortToolTip);
    mnuStop->setEnabled(false);
    mnuRestart->setEnabled(false);
    mnuMark->setEnabled(false);
}

void frmSylvane::abandonStart(const QString& prompt, const QString& title) {
    MSComm1->close();
    engine.abandon();
    showStoppedControls();
    mnuSaveFile->setEnabled(true);
    mnuDisplayOld->setEnabled(true);
    platform::MsgBox(prompt, platform::vbOKOnly | platform::vbExclamation, title);
}

void frmSylvane::mnuStop_Click() {
    stopWaitingForProbe();
    closeMarkerBox();
    showStoppedControls();
    for (Label* status : {LblShnStf[9], LblShnStf[7]}) {
        status->setBackColor(platform::kButtonFace);
        status->setToolTipText(QString());
    }
    if (MSComm1->isOpen()) MSComm1->close();

    if (TxtSeshnComnts->Text().isEmpty()) TxtSeshnComnts->setText(QStringLiteral(" "));
    std::string error;
    const bool headerWritten = engine.stop(TxtSeshnComnts->Text().toStdString(), &error);

    mnuSaveFile->setEnabled(true);
    mnuDisplayOld->setEnabled(true);
    if (!headerWritten) {
        platform::MsgBox(QStringLiteral("The session header could not be written:\r\n") +
                             QString::fromStdString(error),
                         platform::vbOKOnly | platform::vbExclamation,
                         QStringLiteral("Working files error"));
    }
}

void frmSylvane::mnuRestart_Click() {
    // The session so far ends as Stop ends it, so that its copy under unsaved/ is whole; Start
    // then moves it aside and begins afresh.
    mnuStop_Click();
    mnuStart_Click();
}

void frmSylvane::onDeviceLost(const QString& reason) {
    if (waitForProbe(reason)) return;
    endSessionForLostPort(reason);
}

void frmSylvane::endSessionForLostPort(const QString& reason) {
    endSessionWithMessage(QStringLiteral("The probe's serial port was lost:\r\n") + reason +
                              QStringLiteral("\r\nSession Stopped !!"),
                          platform::vbOKOnly | platform::vbExclamation,
                          QStringLiteral("Serial port error"), true);
}

void frmSylvane::endSessionWithMessage(const QString& prompt, int style, const QString& title,
                                       bool closePortFirst) {
    if (!sessionRunning() || m_sessionEnding) return;
    m_sessionEnding = true;
    if (closePortFirst) MSComm1->close();
    platform::MsgBox(prompt, style, title);
    engine.state().silenceTicks = 0;
    if (sessionRunning()) mnuStop_Click();
    m_sessionEnding = false;
}

// ---- what the engine gives the window to show ----

void frmSylvane::View::showReadouts(const acquisition::Readouts& out) {
    auto& labels = m_w.LblShnStf;
    if (out.resistance) labels[3]->setCaption(fromView(*out.resistance));
    if (out.conductance) labels[5]->setCaption(fromView(*out.conductance));
    if (out.adc) labels[7]->setCaption(fromView(*out.adc));
    if (out.probe) {
        labels[7]->setBackColor(out.probe->backColor);
        labels[7]->setToolTipText(fromView(out.probe->toolTip));
    }
    if (out.battery) {
        labels[9]->setBackColor(out.battery->backColor);
        labels[9]->setToolTipText(fromView(out.battery->toolTip));
    }
    if (out.change) labels[1]->setCaption(fromView(*out.change));
}

void frmSylvane::View::showReference(std::string_view caption) {
    m_w.lblSysADCstart->setCaption(fromView(caption));
}

void frmSylvane::View::showSensitivity(std::string_view caption) {
    m_w.LblParams[3]->setCaption(fromView(caption));
}

void frmSylvane::View::showElapsed(std::string_view text) {
    m_w.LblParams[1]->setCaption(fromView(text));
}

void frmSylvane::View::showColourDisplays(const acquisition::ColourDisplays& d) {
    for (int i = 0; i < display::kBarCells; ++i) {
        m_w.lblBarGraf[i]->setBackColor(!d.blank && i <= d.bars.lastLit ? d.bars.color
                                                                        : display::kNeutralColor);
    }
    for (int i = 0; i < display::kLamps; ++i) {
        m_w.lblLED[i]->setBackColor(d.blank             ? display::kNeutralColor
                                    : i <= d.lamps.step ? d.lamps.lit
                                                        : d.lamps.unlit);
    }
}

void frmSylvane::View::sessionMustEnd(acquisition::SessionEnd why, std::string_view detail) {
    if (why == acquisition::SessionEnd::LinkSilent) {
        m_w.endSessionWithMessage(
            QStringLiteral("No data detected\r\non serial port .\r\nSession Stopped !!"),
            platform::vbOKOnly, QStringLiteral("Serial port timeout"), false);
        return;
    }
    // Nothing more can be recorded: stop the readings before telling the user. One message says
    // it all; Stop keeps the header in memory for Save and leaves no header on disk, so that a
    // start after this run recovers the session too.
    m_w.MSComm1->close();
    const std::int32_t onDisk = m_w.engine.state().recordNumber - 1;
    m_w.endSessionWithMessage(
        QStringLiteral("The reading could not be recorded:\r\n") + fromView(detail) +
            QStringLiteral("\r\nReadings on disk: %1, all those recorded before it.\r\n"
                           "Free some space (or reconnect the disk), then File > Save session "
                           "keeps them; starting the program again keeps them too.\r\n"
                           "Session Stopped !!")
                .arg(onDisk),
        platform::vbExclamation, QStringLiteral("Recording error"), false);
}

} // namespace sylvane::app
