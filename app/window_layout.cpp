// The panels of the window: the bar graph and lamps, the six Display toggles, and the panel
// layout, which fits the window to the screen and stacks the visible panels, sizing them and
// their contents in proportion to the window. The layout runs at the end of a timer tick when an
// arrangement has been requested.

#include "app/frm_sylvane.h"

#include "display/color_levels.h"
#include "display/layout_math.h"
#include "platform/label.h"
#include "platform/message_box.h"
#include "platform/number_rules.h"
#include "platform/picture_box.h"
#include "platform/twips.h"

#include <QAction>
#include <QFrame>

#include <algorithm>

namespace sylvane::app {

namespace {

using display::Panel;
using display::Rect;
using namespace platform;

class WindowGeometry final : public display::LayoutWindow {
public:
    explicit WindowGeometry(frmSylvane& w) : m_w(w) {}
    double width() const override { return m_w.Width(); }
    double height() const override { return m_w.Height(); }
    double left() const override { return m_w.Left(); }
    double top() const override { return m_w.Top(); }
    void setWidth(double twips) override { m_w.setWidth(twips); }
    void setHeight(double twips) override { m_w.setHeight(twips); }
    void setLeft(double twips) override { m_w.setLeft(twips); }
    void setTop(double twips) override { m_w.setTop(twips); }
    int displayState() const override { return m_w.WindowState(); }

private:
    frmSylvane& m_w;
};

Rect geometryOf(const QWidget* w) {
    return {twipsLeft(w), twipsTop(w), twipsWidth(w), twipsHeight(w)};
}

void copyPanelFont(QWidget* w, const QFont& panelFont, bool plain) {
    QFont font = w->font();
    font.setFamily(panelFont.family());
    font.setPointSize(panelFont.pointSize());
    if (plain) font.setBold(false);
    w->setFont(font);
}

} // namespace

void frmSylvane::DisplayInit() {
    engine.DisplayInit();
}

void frmSylvane::DisplayUpdate() {
    engine.DisplayUpdate();
}

void frmSylvane::ArrangePanels() {
    const display::ScreenSize screen{screenWidthTwips(), screenHeightTwips()};
    if (layoutReason == display::kNoLayoutYet) return;

    for (QFrame* panel :
         {frmPixGraf, frameLEDdisp, frameBarGraf, frameSesshnStuff, fraSeshnComnts}) {
        panel->setVisible(false);
    }
    DoEvents();

    // What a toggle chose while events ran above is honoured here.
    display::WindowLayoutState state{
        layoutReason, panelUnits, {formWidthSet, formHeightSet, formLeftSet, formTopSet}};
    WindowGeometry geometry(*this);
    const bool arrange = display::placeWindow(screen, state, geometry);
    layoutReason = state.layoutReason;
    formWidthSet = state.set.width;
    formHeightSet = state.set.height;
    formLeftSet = state.set.left;
    formTopSet = state.set.top;
    if (!arrange) return;

    const double windowWidth = Width();
    const double availableHeight = display::availableHeightOf(Height());
    ChoosePanelFont();

    std::int32_t nextTop = 0;
    // Height (capped as read back), place and width of a visible panel; fH and fW are then
    // read back from it.
    const auto placePanel = [&](QFrame* frame, Panel panel) {
        setTwipsHeight(frame, display::panelHeight(panel, availableHeight, panelUnits));
        if (twipsHeight(frame) > display::panelHeightCap(panel)) {
            setTwipsHeight(frame, display::panelHeightCap(panel));
        }
        setTwipsTop(frame, nextTop);
        setTwipsWidth(frame, display::panelWidthOf(windowWidth));
        setTwipsLeft(frame, display::panelLeftOf(windowWidth));
        if (panel != Panel::Params) nextTop = nearest(twipsHeight(frame) + nextTop);
    };

    if (iniPixGrafVisible == QLatin1String("True")) {
        placePanel(frmPixGraf, Panel::PixGraf);
        frmPixGraf->setVisible(true);
        const double fH = twipsHeight(frmPixGraf);
        const double fW = twipsWidth(frmPixGraf);
        const Rect s = display::graphSurfaceRect(fH, fW);
        setTwipsGeometry(pixXYgraf, s.left, s.top, s.width, s.height);
        const Rect surface = geometryOf(pixXYgraf);
        for (int i = 0; i < 10; ++i) {
            Label* label = lbl4Graf[i];
            const Rect size = display::axisLabelSize(fH, surface);
            setTwipsHeight(label, size.height);
            setTwipsLeft(label, size.left);
            setTwipsWidth(label, size.width);
            const Rect place = display::axisLabelPlace(i, fH, surface, geometryOf(label));
            setTwipsTop(label, place.top);
            setTwipsLeft(label, place.left);
            copyPanelFont(label, panelFont, false);
        }
        engine.requestRedraw();
        frmPixGraf->setVisible(true);
    }

    // The lamps and the bar graph: a row of cells across their panel.
    const auto placeCells = [&](QFrame* frame, Panel panel, const auto& cells, auto rectOf) {
        placePanel(frame, panel);
        const double fH = twipsHeight(frame);
        for (int i = 0; i < static_cast<int>(cells.size()); ++i) {
            const Rect r = rectOf(i, fH, windowWidth);
            setTwipsGeometry(cells[static_cast<std::size_t>(i)], r.left, r.top, r.width, r.height);
        }
        frame->setVisible(true);
    };
    if (iniColorGrafVisible == QLatin1String("True"))
        placeCells(frameLEDdisp, Panel::LEDdisp, lblLED, display::lampRect);
    if (iniBarGrafVisible == QLatin1String("True"))
        placeCells(frameBarGraf, Panel::BarGraf, lblBarGraf, display::barCellRect);

    if (iniInternStatusVisible == QLatin1String("True")) {
        placePanel(frameSesshnStuff, Panel::SesshnStuff);
        frameSesshnStuff->setVisible(true);
        const double fH = twipsHeight(frameSesshnStuff);
        const double fW = twipsWidth(frameSesshnStuff);
        for (int i = 0; i < 10; ++i) {
            Label* label = LblShnStf[i];
            label->setVisible(false);
            const Rect r = display::readoutRect(i, fH, fW);
            setTwipsGeometry(label, r.left, r.top, r.width, r.height);
            copyPanelFont(label, panelFont, true);
            label->setVisible(true);
        }
        for (int i = 0; i < 2; ++i) {
            const Rect r = display::responseRect(i, fH, fW);
            setTwipsGeometry(lblResponses[i], r.left, r.top, r.width, r.height);
            copyPanelFont(lblResponses[i], panelFont, true);
        }
    }

    if (iniCommentsVisible == QLatin1String("True")) {
        placePanel(fraSeshnComnts, Panel::SeshnComnts);
        const Rect r =
            display::commentsBoxSize(twipsHeight(fraSeshnComnts), twipsWidth(fraSeshnComnts));
        setTwipsHeight(TxtSeshnComnts, r.height);
        setTwipsWidth(TxtSeshnComnts, r.width);
        copyPanelFont(TxtSeshnComnts, panelFont, false);
        fraSeshnComnts->setVisible(true);
    }

    FrameParams->setVisible(false);
    if (iniTimeVisible == QLatin1String("True")) {
        placePanel(FrameParams, Panel::Params);
        const double fH = twipsHeight(FrameParams);
        const double fW = twipsWidth(FrameParams);
        for (int i = 0; i < 7; ++i) {
            Label* label = LblParams[i];
            label->setVisible(false);
            const Rect r = display::paramRect(i, fH, fW, twipsLeft(LblParams[4]));
            setTwipsHeight(label, r.height);
            setTwipsTop(label, r.top);
            copyPanelFont(label, panelFont, true);
            setTwipsLeft(label, r.left);
            // The port examination notice is shown only by the port dialog.
            if (i < 6) label->setVisible(true);
            setTwipsWidth(label, r.width);
        }
        FrameParams->setVisible(true);
    }
}

void frmSylvane::ChoosePanelFont() {
    const display::PanelFontChoice choice = display::choosePanelFont(display::fontBasisOf(Width()));
    panelFont = QFont(QString::fromStdString(choice.name));
    // A font needs at least one point, however narrow the window.
    panelFont.setPointSize(std::max(1, choice.points));
}

// ---- the Display toggles: each flips its panel and asks for a height-driven layout ----

namespace {

// Panels 1 to 5 (all but the picture graph).
void toggle(frmSylvane& w, QAction* item, QString& visibility, int panel) {
    const std::int32_t weight = display::kTogglePanelWeights[static_cast<std::size_t>(panel)];
    if (item->isChecked()) {
        item->setChecked(false);
        visibility = QStringLiteral("False");
        w.panelUnits -= weight;
    } else {
        item->setChecked(true);
        visibility = QStringLiteral("True");
        w.panelUnits += weight;
    }
    w.layoutReason = display::kHeightDriven;
    w.layoutPending = true;
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
        engine.requestRedraw();
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
    toggle(*this, mnuBarGrf, iniColorGrafVisible, 1);
}

void frmSylvane::mnuSmlGraf_Click() {
    toggle(*this, mnuSmlGraf, iniBarGrafVisible, 2);
}

void frmSylvane::mnuInternStatus_Click() {
    toggle(*this, mnuInternStatus, iniInternStatusVisible, 3);
}

void frmSylvane::mnuComments_Click() {
    toggle(*this, mnuComments, iniCommentsVisible, 4);
}

void frmSylvane::mnuTimnStuf_Click() {
    toggle(*this, mnuTimnStuf, iniTimeVisible, 5);
}

} // namespace sylvane::app
