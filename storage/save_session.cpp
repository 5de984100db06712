#include "app/frm_sylvane.h"

namespace sylvane::app {

void frmSylvane::mnuSaveFile_Click() {}

} // namespace sylvane::app
