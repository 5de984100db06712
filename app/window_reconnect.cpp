// A probe port lost during a session (the adapter pulled out). Unless sylvane-extra.ini sets the
// wait to 0, the session stays open: the status area says that the program waits for the probe,
// the port is tried again twice a second, and when the same COM port is back the recording goes
// on into the same files, the trace starting a new piece and a marker "probe reconnected" at the
// gap. A port that is not back in time ends the session through Stop, as a lost port always did.

#include "acquisition/serial_link.h"
#include "app/frm_sylvane.h"
#include "platform/label.h"
#include "platform/message_box.h"
#include "storage/extra_settings.h"

#include <QDir>
#include <QFile>

#include <algorithm>
#include <cmath>

namespace sylvane::app {

namespace {
constexpr int kProbePollMs = 500;

QString waitingText(int seconds) {
    return QStringLiteral("Waiting for the probe: %1 s").arg(seconds);
}
} // namespace

bool frmSylvane::waitForProbe(const QString& reason) {
    if (!sessionRunning() || m_sessionEnding || waitingForProbe()) return false;
    const storage::ReconnectWait wait =
        storage::reconnectWaitOf(storage::extraSettingsText(m_programFolder.toStdString()));
    if (wait.seconds == 0) return false;

    m_probeLostReason = reason;
    m_probeDeadline = QDeadlineTimer(std::int64_t{wait.seconds} * 1000);
    m_noticeGeometry = LblParams[6]->geometry();
    // The port dialog's notice, free while a session runs, widened to the left for the text.
    const int width = std::max(
        m_noticeGeometry.width(),
        LblParams[6]->fontMetrics().horizontalAdvance(waitingText(storage::kLongestReconnectWait)) +
            8);
    LblParams[6]->setGeometry(m_noticeGeometry.right() + 1 - width, m_noticeGeometry.y(), width,
                              m_noticeGeometry.height());
    m_probeWait.start(kProbePollMs);
    pollProbe();
    if (!wait.problem.empty()) {
        platform::MsgBox(QString::fromStdString(wait.problem),
                         platform::vbOKOnly | platform::vbExclamation,
                         QStringLiteral("Settings error"));
    }
    return true;
}

void frmSylvane::pollProbe() {
    if (!waitingForProbe()) return;
    // Nothing arrives while the probe is away; that silence is not the one that ends a session.
    engine.state().silenceTicks = 0;
    if (openPortForStart()) {
        stopWaitingForProbe();
        engine.state().graphTraceBreak = true;
        storage::Marker marker = markers.atLastReading();
        marker.text = "probe reconnected";
        addMarker(std::move(marker));
        return;
    }
    if (m_probeDeadline.hasExpired()) {
        stopWaitingForProbe();
        endSessionForLostPort(m_probeLostReason);
        return;
    }
    const auto left = static_cast<int>(std::ceil(m_probeDeadline.remainingTime() / 1000.0));
    LblParams[6]->setCaption(waitingText(left));
    LblParams[6]->setVisible(true);
}

void frmSylvane::stopWaitingForProbe() {
    if (!waitingForProbe()) return;
    m_probeWait.stop();
    LblParams[6]->setVisible(false);
    LblParams[6]->setGeometry(m_noticeGeometry);
    LblParams[6]->setCaption(QStringLiteral("Examiming Ports"));
}

} // namespace sylvane::app
