#include "app/frm_sylvane.h"

namespace sylvane::app {

void frmSylvane::ArrangePanels() {}

void frmSylvane::ChoosePanelFont() {}

} // namespace sylvane::app
