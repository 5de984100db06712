#include "app/frm_sylvane.h"

namespace sylvane::app {

void frmSylvane::OnComm() {}

void frmSylvane::ReadFrame() {}

void frmSylvane::ShowReadings() {}

} // namespace sylvane::app
