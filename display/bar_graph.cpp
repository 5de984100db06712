// The 32-cell bar graph and the eight lamps, painted from the colour level.

#include "app/frm_sylvane.h"

#include "display/color_levels.h"
#include "platform/label.h"

namespace sylvane::app {

void frmSylvane::DisplayInit() {
    for (Label* lamp : lblLED) lamp->setBackColor(display::kNeutralColor);
    for (Label* cell : lblBarGraf) cell->setBackColor(display::kNeutralColor);
}

void frmSylvane::DisplayUpdate() {
    // Until the session has its reference reading the rows stay blank.
    if (awaitingStartValue) return;

    const display::BarGraphPaint bars = display::barGraphOf(colorLevel);
    for (int i = 0; i < display::kBarCells; ++i) {
        lblBarGraf[i]->setBackColor(i <= bars.lastLit ? bars.color : display::kNeutralColor);
    }
    const display::LampRowPaint lamps = display::lampRowOf(colorLevel);
    for (int i = 0; i < display::kLamps; ++i) {
        lblLED[i]->setBackColor(i <= lamps.step ? lamps.lit : lamps.unlit);
    }
}

} // namespace sylvane::app
