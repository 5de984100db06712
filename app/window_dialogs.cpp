// The main window's commands that open the dialogs.

#include "app/frm_sylvane.h"
#include "dialogs/frm_about.h"
#include "dialogs/frm_port_change.h"
#include "dialogs/frm_set_sense.h"
#include "platform/label.h"
#include "platform/message_box.h"

#include <QAction>
#include <QTimer>

namespace sylvane::app {

void frmSylvane::mnuSetComPort_Click() {
    // Show the notice and let two timer ticks pass before the probing blocks the window.
    LblParams[6]->setVisible(true);
    WaitDelayTicks(2);
    dialogs::frmPortChange::PortProber prober;
    if (portProber) {
        prober = [this](int port) {
            return static_cast<acquisition::SerialLink::OpenError>(portProber(port));
        };
    }
    auto* dialog = new dialogs::frmPortChange(
        {*LblParams[5], *LblParams[6], module1.lastMsgBoxResult, programFolder()}, prober, this);
    dialog->exec();
    delete dialog;
    LblParams[6]->setVisible(false);
}

void frmSylvane::mnuSetSense_Click() {
    auto* dialog = new dialogs::frmSetSense(*LblParams[3], this);
    dialog->exec();
    delete dialog;
}

void frmSylvane::mnuAboutHelp_Click() {
    dialogs::frmAbout about(this);
    about.exec();
}

void frmSylvane::LblParams_Click(int index) {
    if (index == 5) {
        // The port cannot change under a running session.
        if (mnuStart->isEnabled()) mnuSetComPort_Click();
    } else if (index == 3) {
        mnuSetSense_Click();
    }
}

} // namespace sylvane::app
