#include "app/frm_sylvane.h"
#include "dialogs/frm_about.h"

namespace sylvane::app {

void frmSylvane::mnuSetComPort_Click() {}

void frmSylvane::mnuSetSense_Click() {}

void frmSylvane::mnuAboutHelp_Click() {
    dialogs::frmAbout about(this);
    about.exec();
}

void frmSylvane::LblParams_Click(int) {}

} // namespace sylvane::app
