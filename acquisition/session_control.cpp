// Session control: Start, Stop and Restart, and the endings that a fault forces on a session.

#include "acquisition/serial_link.h"
#include "app/frm_sylvane.h"
#include "platform/label.h"
#include "platform/message_box.h"
#include "platform/number_rules.h"
#include "platform/picture_box.h"
#include "platform/vb_colors.h"

#include <QAction>

#include <filesystem>
#include <system_error>

namespace sylvane::app {

namespace {

const QString kPortToolTip = QStringLiteral("Click here to select port number");

std::filesystem::path folderPath(const QString& folder) {
    return std::filesystem::path(folder.toStdString());
}

} // namespace

bool frmSylvane::sessionRunning() const {
    return !mnuStart->isEnabled();
}

void frmSylvane::mnuStart_Click() {
    module1.minADC = 4095;
    module1.maxADC = 0;
    mnuSaveFile->setEnabled(false);
    mnuDisplayOld->setEnabled(false);
    graphRedrawNeeded = false;
    recordNumber = 1;
    readingsPerStep = 1;
    // A step the last session left unfinished must not be averaged into this session's trace.
    stepSum = 0;
    pixXYgraf->Cls();
    mnuStart->setEnabled(false);
    mnuSetComPort->setEnabled(false);
    LblParams[5]->setBackColor(platform::kInactiveCaptionText);
    LblParams[5]->setToolTipText(QString());
    mnuStop->setEnabled(true);
    mnuRestart->setEnabled(true);
    DisplayInit();
    stableCount = 0;
    awaitingStartValue = true;
    lblSysADCstart->setCaption(QStringLiteral(" "));

    targetColorLevel = 255;
    colorLevel = 255;
    sessionStartTime = clockSeconds();
    acquisition::startCounting(m_midnights, sessionStartTime);

    if (platform::numericValue(LblParams[5]->caption().toStdString()) == 0)
        LblParams[5]->setCaption(QStringLiteral("2"));

    // The port is opened before the working files are emptied, so that a port that is missing
    // or busy leaves the last session's files as they were.
    MSComm1->setCommPort(
        platform::nearest16(platform::numericValue(LblParams[5]->caption().toStdString())));
    MSComm1->setSettings(QStringLiteral("4800,N,8,1"));
    MSComm1->setInputLen(9);
    MSComm1->setRThreshold(9);
    if (!MSComm1->open()) {
        QString reason = MSComm1->errorString();
        if (reason.isEmpty())
            reason = QStringLiteral("COM%1 could not be opened.").arg(MSComm1->commPort());
        abandonStart(reason + QStringLiteral("\r\nSession not started."),
                     QStringLiteral("Serial port error"));
        return;
    }
    MSComm1->setDTREnable(false);
    MSComm1->setRTSEnable(true);

    std::string error;
    if (!workingFiles.open(folderPath(programFolder()), &error)) {
        abandonStart(QStringLiteral("The working files could not be created:\r\n") +
                         QString::fromStdString(error) + QStringLiteral("\r\nSession not started."),
                     QStringLiteral("Working files error"));
    }
}

// The Session menu and the port label as they are while no session runs.
void frmSylvane::showStoppedControls() {
    mnuStart->setEnabled(true);
    mnuSetComPort->setEnabled(true);
    LblParams[5]->setBackColor(platform::kWindowBackground);
    LblParams[5]->setToolTipText(kPortToolTip);
    mnuStop->setEnabled(false);
    mnuRestart->setEnabled(false);
}

void frmSylvane::abandonStart(const QString& prompt, const QString& title) {
    MSComm1->close();
    workingFiles.close();
    showStoppedControls();
    mnuSaveFile->setEnabled(true);
    mnuDisplayOld->setEnabled(true);
    platform::MsgBox(prompt, platform::vbOKOnly | platform::vbExclamation, title);
}

void frmSylvane::mnuStop_Click() {
    showStoppedControls();
    for (Label* status : {LblShnStf[9], LblShnStf[7]}) {
        status->setBackColor(platform::kButtonFace);
        status->setToolTipText(QString());
    }
    DisplayUpdate();
    if (MSComm1->isOpen()) MSComm1->close();

    if (TxtSeshnComnts->Text().isEmpty()) TxtSeshnComnts->setText(QStringLiteral(" "));
    std::string error;
    const bool headerWritten =
        !workingFiles.isOpen() ||
        workingFiles.writeHeaderAndClose(module1.minADC, module1.maxADC,
                                         TxtSeshnComnts->Text().toStdString(), &error);

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
    MSComm1->close();
    workingFiles.close();
    const std::filesystem::path folder = folderPath(programFolder());
    for (const char* name : {storage::kWorkingHdr, storage::kWorkingTst, storage::kWorkingTxt}) {
        std::error_code ignored;
        std::filesystem::remove(folder / name, ignored);
    }
    mnuStart_Click();
}

void frmSylvane::onDeviceLost(const QString& reason) {
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
    silenceTicks = 0;
    if (sessionRunning()) mnuStop_Click();
    m_sessionEnding = false;
}

} // namespace sylvane::app
