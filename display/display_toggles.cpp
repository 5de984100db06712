// The six Display menu items: each flips its panel's visibility and weight and asks for a
// height-driven arrangement at the next timer tick.

#include "app/frm_sylvane.h"

#include "display/layout_math.h"

#include <QAction>

namespace sylvane::app {

namespace {

void toggle(QAction* item, QString& visibility, std::int32_t& panelUnits, std::int32_t weight) {
    if (item->isChecked()) {
        item->setChecked(false);
        visibility = QStringLiteral("False");
        panelUnits -= weight;
    } else {
        item->setChecked(true);
        visibility = QStringLiteral("True");
        panelUnits += weight;
    }
}

} // namespace

void frmSylvane::mnuPixGraf_Click() {
    int heightChange;
    if (mnuPixGraf->isChecked()) {
        mnuPixGraf->setChecked(false);
        iniPixGrafVisible = QStringLiteral("False");
        panelUnits -= display::kTogglePanelWeights[0];
        heightChange = -1;
    } else {
        mnuPixGraf->setChecked(true);
        iniPixGrafVisible = QStringLiteral("True");
        graphRedrawNeeded = true;
        panelUnits += display::kTogglePanelWeights[0];
        heightChange = 1;
    }
    // The one-twip nudge makes the window size differ from the arranged one. A minimized or
    // maximized window refuses a new height, and resizing it would restore it.
    if (WindowState() == display::kNormalWindow) setHeight(Height() + heightChange);
    layoutReason = display::kHeightDriven;
    layoutPending = true;
}

void frmSylvane::mnuBarGrf_Click() {
    toggle(mnuBarGrf, iniColorGrafVisible, panelUnits, display::kTogglePanelWeights[1]);
    layoutReason = display::kHeightDriven;
    layoutPending = true;
}

void frmSylvane::mnuSmlGraf_Click() {
    toggle(mnuSmlGraf, iniBarGrafVisible, panelUnits, display::kTogglePanelWeights[2]);
    layoutReason = display::kHeightDriven;
    layoutPending = true;
}

void frmSylvane::mnuInternStatus_Click() {
    toggle(mnuInternStatus, iniInternStatusVisible, panelUnits, display::kTogglePanelWeights[3]);
    layoutReason = display::kHeightDriven;
    layoutPending = true;
}

void frmSylvane::mnuComments_Click() {
    toggle(mnuComments, iniCommentsVisible, panelUnits, display::kTogglePanelWeights[4]);
    layoutReason = display::kHeightDriven;
    layoutPending = true;
}

void frmSylvane::mnuTimnStuf_Click() {
    toggle(mnuTimnStuf, iniTimeVisible, panelUnits, display::kTogglePanelWeights[5]);
    layoutReason = display::kHeightDriven;
    layoutPending = true;
}

} // namespace sylvane::app
