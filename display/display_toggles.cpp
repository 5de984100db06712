#include "app/frm_sylvane.h"

namespace sylvane::app {

void frmSylvane::mnuPixGraf_Click() {}

void frmSylvane::mnuBarGrf_Click() {}

void frmSylvane::mnuSmlGraf_Click() {}

void frmSylvane::mnuInternStatus_Click() {}

void frmSylvane::mnuComments_Click() {}

void frmSylvane::mnuTimnStuf_Click() {}

} // namespace sylvane::app
