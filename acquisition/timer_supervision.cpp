#include "app/frm_sylvane.h"

namespace sylvane::app {

void frmSylvane::Timer1_Timer() {}

void frmSylvane::StepColorLevel() {}

} // namespace sylvane::app
