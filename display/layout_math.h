#pragma once
// The arithmetic of the panel layout: the window's snap to a 4:3 shape on a 1/32 screen grid,
// its minimum size and its place on the screen, the share of the window height each visible
// panel gets, the places of the controls inside each panel and the panel font. Sizes are twips.
// The platform may keep a size a little different from the one written (whole pixels), so
// every formula that depends on an earlier result takes that result as it was read back.

#include <array>
#include <cstdint>
#include <string>

namespace sylvane::display {

// layoutReason values.
inline constexpr std::uint8_t kNoLayoutYet = 0;
inline constexpr std::uint8_t kInitialPlacement = 1;
inline constexpr std::uint8_t kHeightDriven = 2;
inline constexpr std::uint8_t kWidthDriven = 3;

// Window display states.
inline constexpr int kNormalWindow = 0;
inline constexpr int kMinimizedWindow = 1;
inline constexpr int kMaximizedWindow = 2;

struct ScreenSize {
    double width = 0;
    double height = 0;
};

struct LayoutGrid {
    std::int32_t gridX = 0;
    std::int32_t gridY = 0;
    std::int32_t minWidth = 0;
    std::int32_t minHeight = 0;
};

LayoutGrid layoutGrid(const ScreenSize& screen, std::int32_t panelUnits);

// formWidthSet, formHeightSet, formLeftSet, formTopSet.
struct WindowPlacement {
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::int32_t left = 0;
    std::int32_t top = 0;
};

// The stored placement, or a window of three quarters of the screen, centred, when the stored
// one is wider or taller than 95 % of the screen or starts right of it.
WindowPlacement checkedInitialPlacement(const ScreenSize& screen, const WindowPlacement& stored);

// The main window as the arrangement sees it: outer size and place in twips, each read back
// after it was written.
class LayoutWindow {
public:
    virtual ~LayoutWindow() = default;
    virtual double width() const = 0;
    virtual double height() const = 0;
    virtual double left() const = 0;
    virtual double top() const = 0;
    virtual void setWidth(double twips) = 0;
    virtual void setHeight(double twips) = 0;
    virtual void setLeft(double twips) = 0;
    virtual void setTop(double twips) = 0;
    // kNormalWindow, kMinimizedWindow or kMaximizedWindow.
    virtual int displayState() const = 0;
};

struct WindowLayoutState {
    std::uint8_t layoutReason = kNoLayoutYet;
    std::int32_t panelUnits = 0;
    WindowPlacement set;
};

// Sizes and places the window: the initial placement when layoutReason is 1 (which turns it
// into 2), then, for a normal window, the snap to the grid and the 4:3 shape driven by the
// height (2) or the width (3), the minimum size, and a place that keeps it on the screen. A
// maximized window is left as it is and its size recorded. Returns false for a minimized
// window: no panel is to be arranged then.
bool placeWindow(const ScreenSize& screen, WindowLayoutState& state, LayoutWindow& window);

// The six panels from top to bottom.
enum class Panel : int { PixGraf = 0, LEDdisp, BarGraf, SesshnStuff, SeshnComnts, Params };
inline constexpr int kPanelCount = 6;

// What showing or hiding a panel through the Display menu adds to or takes from panelUnits.
inline constexpr std::array<std::int32_t, kPanelCount> kTogglePanelWeights = {16, 2, 2, 3, 3, 3};

// The height shared out among the panels: the window height less caption, menu and borders.
double availableHeightOf(double windowHeight);
// A panel's share of the available height, before its cap.
double panelHeight(Panel panel, double availableHeight, std::int32_t panelUnits);
// The tallest a panel may be (infinite for the picture graph).
double panelHeightCap(Panel panel);
// Panels are 95 % of the window wide, 2 % in from its left edge.
double panelWidthOf(double windowWidth);
double panelLeftOf(double windowWidth);

struct Rect {
    double left = 0;
    double top = 0;
    double width = 0;
    double height = 0;
};

// Inside the picture graph panel (fH, fW as read back): the drawing surface...
Rect graphSurfaceRect(double fH, double fW);
// ...then each axis label's height, left and width from the surface as read back...
Rect axisLabelSize(double fH, const Rect& surface);
// ...then its place from its own size as read back (label holds that size and its left).
Rect axisLabelPlace(int index, double fH, const Rect& surface, const Rect& label);

// The lamps (index 0 rightmost, touching) and the bar cells (index 0 leftmost); W is the
// window width.
Rect lampRect(int index, double fH, double windowWidth);
Rect barCellRect(int index, double fH, double windowWidth);
// The readouts: headings (even indexes) above values (odd), five columns.
Rect readoutRect(int index, double fH, double fW);
// The skin-response count beside the readouts, in the panel's right margin: 0 its heading on
// the upper row, 1 its value under it.
Rect responseRect(int index, double fH, double fW);
// The comments box keeps its left and top.
Rect commentsBoxSize(double fH, double fW);
// Time, sensitivity and port; the examination notice (6) sits over the port heading at twice
// the cell width (portHeadingLeft is LblParams(4).Left as read back).
Rect paramRect(int index, double fH, double fW, double portHeadingLeft);

struct PanelFontChoice {
    std::string name;
    int points = 0;
};

// The panel font follows the window width: fontBasis = width × 0.03 (single precision).
float fontBasisOf(double windowWidth);
PanelFontChoice choosePanelFont(float fontBasis);

} // namespace sylvane::display
