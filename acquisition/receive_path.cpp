#include "app/frm_sylvane.h"

namespace sylvane::app {

void frmSylvane::OnComm() {}

void frmSylvane::ReadFrame() {}

void frmSylvane::ShowReadings() {}

bool frmSylvane::FilterReading() { return false; }

void frmSylvane::RecordReading() {}

} // namespace sylvane::app
