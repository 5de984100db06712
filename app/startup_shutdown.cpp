#include "app/frm_sylvane.h"

namespace sylvane::app {

void frmSylvane::Form_Load() {}

void frmSylvane::Form_QueryUnload() {}

void frmSylvane::Form_Unload() {}

void frmSylvane::mnuExit_Click() {
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
