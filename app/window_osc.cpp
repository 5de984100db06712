// Stimulus software and the session over OSC, and File > Preferences... . Markers sent to the
// UDP port of OscMarkerPort are made as Session > Mark makes them, while a session runs; every
// recorded reading, every marker and Start and Stop go to OscSendTo. The settings live in
// sylvane-extra.ini and are taken at each Start.

#include "acquisition/osc_link.h"
#include "app/frm_sylvane.h"
#include "dialogs/frm_preferences.h"
#include "platform/message_box.h"
#include "storage/extra_settings.h"

#include <QAction>
#include <QMenu>

#include <utility>

namespace sylvane::app {

void frmSylvane::composeOsc() {
    // Where desktop programs keep it: above Exit, with the other commands of the program.
    mnuPreferences = new QAction(QStringLiteral("Preferences..."), this);
    mnuPreferences->setObjectName(QStringLiteral("mnuPreferences"));
    mnuFile->insertAction(mnuSep1, mnuPreferences);
    connect(mnuPreferences, &QAction::triggered, this, [this] { mnuPreferences_Click(); });

    oscLink = new acquisition::OscLink(this);
    oscLink->setObjectName(QStringLiteral("oscLink"));
    oscLink->takeMarker = [this](const std::string& text) { return takeOscMarker(text); };
    engine.addFollower(&oscReadings);
    markers.added = [this](const storage::Marker& marker) {
        if (oscLink->sending())
            oscLink->send(acquisition::oscMarkerPacket(marker.record, marker.text));
    };
    // The marker port is open from the program's start, so that markers sent before the first
    // session are counted as refused too; what is wrong is told at Start.
    applyOscSettings(storage::extraSettingsText(m_programFolder.toStdString()));
}

void frmSylvane::applyExtraSettingsAtStart() {
    const std::string text = storage::extraSettingsText(m_programFolder.toStdString());
    responseThreshold = storage::responseThresholdOf(text);
    responseCounter.setThreshold(responseThreshold);
    applyOscSettings(text);
    m_oscMarkerErrorTold = false;
}

void frmSylvane::applyOscSettings(const std::string& text) {
    const storage::OscSettings osc = storage::oscSettingsOf(text);
    m_extraSettingsProblems = QString::fromStdString(osc.problem);
    QString error;
    if (!oscLink->listen(QString::fromStdString(osc.markerAddress), osc.markerPort, &error)) {
        if (!m_extraSettingsProblems.isEmpty()) m_extraSettingsProblems += QStringLiteral("\r\n");
        m_extraSettingsProblems += error;
    }
    oscLink->sendTo(QString::fromStdString(osc.sendHost), osc.sendPort);
    // Nothing to build when nothing is sent.
    if (oscLink->sending())
        oscReadings.send = [this](const std::string& packet) { oscLink->send(packet); };
    else
        oscReadings.send = nullptr;
}

void frmSylvane::tellExtraSettingsProblems() {
    if (m_extraSettingsProblems.isEmpty()) return;
    const QString problems = std::exchange(m_extraSettingsProblems, QString());
    platform::MsgBox(problems, platform::vbOKOnly | platform::vbExclamation,
                     QStringLiteral("Settings error"));
}

bool frmSylvane::takeOscMarker(const std::string& text) {
    if (!sessionRunning()) return false;
    storage::Marker marker = markers.at();
    marker.text = text;
    std::string error;
    if (markers.add(std::move(marker), &error)) return true;
    // Stimulus software may send many: the first failure of a session is told, the rest counted.
    if (!std::exchange(m_oscMarkerErrorTold, true)) {
        platform::MsgBox(
            QStringLiteral("A marker from stimulus software could not be written:\r\n") +
                QString::fromStdString(error),
            platform::vbOKOnly | platform::vbExclamation, QStringLiteral("Marker error"));
    }
    return false;
}

QString frmSylvane::oscStatus() const {
    const acquisition::OscLink::Counts& c = oscLink->counts();
    QString markersLine =
        QStringLiteral("OSC: %1 markers taken, %2 refused").arg(c.taken).arg(c.refused);
    if (c.overRate > 0)
        markersLine += QStringLiteral(" (%1 over %2 a second)")
                           .arg(c.overRate)
                           .arg(acquisition::kOscMarkersPerSecond);
    markersLine += oscLink->listeningPort() != 0 ? QStringLiteral("; listening on %1 port %2")
                                                       .arg(oscLink->listeningAddress())
                                                       .arg(oscLink->listeningPort())
                                                 : QStringLiteral("; not listening");
    QString sendLine =
        QStringLiteral("OSC: %1 packets sent, %2 dropped").arg(c.sent).arg(c.dropped);
    sendLine += oscLink->sending() ? QStringLiteral(" to ") + oscLink->target()
                                   : QStringLiteral("; sending nothing");
    if (!oscLink->sendProblem().isEmpty())
        sendLine += QStringLiteral(" (") + oscLink->sendProblem() + QStringLiteral(")");
    return markersLine + QStringLiteral(".\n") + sendLine + QStringLiteral(".");
}

void frmSylvane::mnuPreferences_Click() {
    dialogs::frmPreferences::Options options;
    options.programFolder = m_programFolder.toStdString();
    options.status = oscStatus() + QStringLiteral("\nThe OSC settings and the threshold are taken "
                                                  "at the next Start.");
    dialogs::frmPreferences dialog(std::move(options), this);
    if (dialog.exec() != QDialog::Accepted) return;
    // Exports use the threshold at once; a running session keeps its own until the next Start.
    responseThreshold =
        storage::responseThresholdOf(storage::extraSettingsText(m_programFolder.toStdString()));
    if (!sessionRunning()) responseCounter.setThreshold(responseThreshold);
}

} // namespace sylvane::app
