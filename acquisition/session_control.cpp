#include "app/frm_sylvane.h"

namespace sylvane::app {

void frmSylvane::mnuStart_Click() {}

void frmSylvane::mnuStop_Click() {}

void frmSylvane::mnuRestart_Click() {}

void frmSylvane::onDeviceLost(const QString&) {}

} // namespace sylvane::app
