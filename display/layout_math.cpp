#include "display/layout_math.h"

#include "platform/number_rules.h"

#include <cmath>
#include <limits>

namespace sylvane::display {

using platform::nearest;

namespace {

// (value \ grid) × grid, kept within a Long.
std::int32_t snapDown(double value, std::int32_t grid) {
    const std::int64_t snapped =
        static_cast<std::int64_t>(platform::intDiv(nearest(value), grid)) * grid;
    return nearest(static_cast<double>(snapped));
}

constexpr std::array<double, kPanelCount> kPanelShares = {15, 1.95, 1.95, 2.9, 2.9, 2.9};
constexpr std::array<double, kPanelCount> kPanelCaps = {
    std::numeric_limits<double>::infinity(), 1000, 1000, 1500, 1500, 1000};

// Whole points, rounded down; a font size is never negative nor absurd.
int wholePoints(double points) {
    if (!(points > 0)) return 0;
    return points > 4096 ? 4096 : static_cast<int>(std::floor(points));
}

} // namespace

LayoutGrid layoutGrid(const ScreenSize& screen, std::int32_t panelUnits) {
    LayoutGrid g;
    g.gridX = nearest(screen.width / 32);
    g.gridY = nearest(screen.height / 32);
    g.minWidth = nearest(screen.width / 4);
    g.minHeight = nearest(screen.height * panelUnits / 56);
    return g;
}

WindowPlacement checkedInitialPlacement(const ScreenSize& screen, const WindowPlacement& stored) {
    if (!(screen.width * 0.95 < stored.width || screen.height * 0.95 < stored.height ||
          screen.width < stored.left)) {
        return stored;
    }
    WindowPlacement p;
    p.width = nearest(screen.width * 0.75);
    p.height = nearest(screen.height * 0.75);
    p.left = nearest((screen.width - p.width) / 2);
    p.top = nearest((screen.height - p.height) / 2);
    return p;
}

bool placeWindow(const ScreenSize& screen, WindowLayoutState& state, LayoutWindow& window) {
    if (state.layoutReason == kInitialPlacement) {
        state.set = checkedInitialPlacement(screen, state.set);
        window.setWidth(state.set.width);
        window.setHeight(state.set.height);
        window.setLeft(state.set.left);
        window.setTop(state.set.top);
        state.layoutReason = kHeightDriven;
    }

    const int displayState = window.displayState();
    if (displayState == kMinimizedWindow) return false;
    if (displayState == kMaximizedWindow) {
        state.set.height = nearest(window.height());
        state.set.width = nearest(window.width());
        return true;
    }

    const LayoutGrid grid = layoutGrid(screen, state.panelUnits);
    WindowPlacement& set = state.set;
    if (state.layoutReason == kWidthDriven) {
        set.width = snapDown(window.width(), grid.gridX);
        set.height = nearest(set.width * 3.0 / 4);
    } else {
        set.height = snapDown(window.height(), grid.gridY);
        set.width = nearest(set.height * 4.0 / 3);
        if (screen.width < set.width) set.width = nearest(screen.width);
    }

    // A raised height does not widen the window: the 4:3 shape may be lost here.
    if (set.height < grid.minHeight) set.height = grid.minHeight;
    if (set.width < grid.minWidth) set.width = grid.minWidth;
    window.setHeight(set.height);
    window.setWidth(set.width);

    if (window.height() + window.top() > screen.height) {
        window.setTop(screen.height - window.height() - screen.height * 0.05);
    }
    if (window.width() + window.left() > screen.width) {
        window.setLeft(screen.width - window.width() - screen.width * 0.05);
    }
    if (window.top() < 0) window.setTop(0);
    if (window.left() < 0) window.setLeft(0);
    return true;
}

double availableHeightOf(double windowHeight) {
    return static_cast<float>(windowHeight - 600);
}

double panelHeight(Panel panel, double availableHeight, std::int32_t panelUnits) {
    // The visible panels always carry at least one unit; never divide by nothing.
    const double units = panelUnits < 1 ? 1 : panelUnits;
    return kPanelShares[static_cast<int>(panel)] * availableHeight / units;
}

double panelHeightCap(Panel panel) {
    return kPanelCaps[static_cast<int>(panel)];
}

double panelWidthOf(double windowWidth) {
    return windowWidth * 0.95;
}
double panelLeftOf(double windowWidth) {
    return windowWidth * 0.02;
}

Rect graphSurfaceRect(double fH, double fW) {
    return {fW * 0.1, (fH - 25) * 0.025 + 25, fW * 0.88, (fH - 25) * 0.9};
}

Rect axisLabelSize(double fH, const Rect& surface) {
    return {surface.left * 0.05, 0, surface.left * 0.95, (fH - 25) * 0.055};
}

Rect axisLabelPlace(int index, double fH, const Rect& surface, const Rect& label) {
    Rect r = label;
    if (index < 5) {
        r.top = surface.top + index * (surface.height - label.height) / 4 +
                surface.height * 0.012 * (index - 2);
    } else {
        r.top = fH - label.height * 1.3;
        r.left = surface.left + (index - 5) * (surface.width - label.width) / 4;
    }
    return r;
}

Rect lampRect(int index, double fH, double windowWidth) {
    const double h = (fH - 55) * 0.8;
    const double w = windowWidth / 9;
    const double x = windowWidth * 0.92 - w - index * w;
    return {x, h * 0.15 + 25, w, h};
}

Rect barCellRect(int index, double fH, double windowWidth) {
    const double h = (fH - 55) * 0.8;
    const double w = windowWidth / 34.5;
    return {windowWidth * 0.01 + index * w, h * 0.15 + 25, w, h};
}

Rect readoutRect(int index, double fH, double fW) {
    const double h = fH * 0.375;
    const double w = fW * 0.15;
    return {fW / 36 + (index / 2) * (fW / 6 + fW / 36), h * (index % 2) + h / 2.25, w, h};
}

Rect responseRect(int index, double fH, double fW) {
    const Rect battery = readoutRect(8 + index, fH, fW);
    // The heading reaches back over the blank end of the centred "Battery" heading.
    const double left = battery.left + battery.width + (index == 0 ? -fW / 30 : fW / 144);
    return {left, battery.top, fW - left - fW / 144, battery.height};
}

Rect commentsBoxSize(double fH, double fW) {
    return {0, 0, fW * 0.98, fH * 0.82};
}

Rect paramRect(int index, double fH, double fW, double portHeadingLeft) {
    const double h = fH * 0.5;
    const double w = fW * 0.12;
    if (index == 6) return {portHeadingLeft, h * 0.5, 2 * w, h};
    return {fW / 49 + index * (fW / 7 + fW / 49), h * 0.5, w, h};
}

float fontBasisOf(double windowWidth) {
    return static_cast<float>(windowWidth * 0.03);
}

PanelFontChoice choosePanelFont(float fontBasis) {
    if (!(fontBasis >= 250)) return {"IBMPC", wholePoints(fontBasis / 30.0f)};
    return {"Arial", wholePoints(fontBasis / 25.0f) - 2};
}

} // namespace sylvane::display
