#include "app/frm_sylvane.h"

namespace sylvane::app {

void frmSylvane::mnuDisplayOld_Click() {}

void frmSylvane::pixXYgraf_Click() {}

void frmSylvane::ResumeNormalDisplay() {}

} // namespace sylvane::app
