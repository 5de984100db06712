// The 200 ms tick: link watch, resize watch, session clock, colour level, colour displays, the
// dialogs' countdown and the deferred layout.

#include "acquisition/session_clock.h"
#include "app/frm_sylvane.h"
#include "platform/label.h"
#include "platform/message_box.h"
#include "platform/number_rules.h"
#include "platform/twips.h"

namespace sylvane::app {

namespace {
constexpr std::int32_t kSilenceLimit = 100;
} // namespace

void frmSylvane::Timer1_Timer() {
    if (sessionRunning()) {
        silenceTicks += 1;
        if (silenceTicks > kSilenceLimit) {
            endSessionWithMessage(QStringLiteral("No data detected\r\non serial port .\r\n"
                                                 "Session Stopped !!"),
                                  platform::vbOKOnly, QStringLiteral("Serial port timeout"), false);
        }
    }

    if (layoutReason != 1 && WindowState() != 1) {
        const std::uint8_t reason = acquisition::resizeReason(
            Width(), Height(), formWidthSet, formHeightSet, platform::twipsPerPixel());
        if (reason != 0) {
            layoutReason = reason;
            layoutPending = true;
        }
    }

    if (sessionRunning()) {
        const float elapsed =
            acquisition::elapsedSeconds(sessionStartTime, clockSeconds(), m_midnights);
        LblParams[1]->setCaption(QString::fromStdString(platform::formatTime(elapsed)));
    }

    StepColorLevel();
    DisplayUpdate();
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

void frmSylvane::StepColorLevel() {
    colorLevel =
        acquisition::stepColorLevel(colorLevel, targetColorLevel, probeStatus, sessionRunning());
}

} // namespace sylvane::app
