#include "app/frm_sylvane.h"

namespace sylvane::app {

void frmSylvane::DisplayInit() {}

void frmSylvane::DisplayUpdate() {}

} // namespace sylvane::app
