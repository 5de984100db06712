#include "app/frm_sylvane.h"

namespace sylvane::app {

void frmSylvane::GraphAndRecord() {
    if (!FilterReading()) return;
    if (smoothedADC < 1) return;
    RecordReading();
}

std::int32_t frmSylvane::PlotGraphPoint(std::int32_t, float, std::uint32_t) {
    return 0;
}

void frmSylvane::DrawGraphGrid() {}

} // namespace sylvane::app
