#include "display/layout_math.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

using namespace sylvane::display;

namespace {

const ScreenSize kScreen{15360, 11520}; // 1024 x 768 pixels at 15 twips each

// A window that keeps what it is given, or whole pixels of `quantum` twips (rounded half away
// from zero, as the toolkit's windows do).
class FakeWindow final : public LayoutWindow {
public:
    double w = 0, h = 0, l = 0, t = 0;
    int state = kNormalWindow;
    double quantum = 0;

    double width() const override { return w; }
    double height() const override { return h; }
    double left() const override { return l; }
    double top() const override { return t; }
    void setWidth(double v) override { w = kept(v); }
    void setHeight(double v) override { h = kept(v); }
    void setLeft(double v) override { l = kept(v); }
    void setTop(double v) override { t = kept(v); }
    int displayState() const override { return state; }

private:
    double kept(double v) const { return quantum > 0 ? std::round(v / quantum) * quantum : v; }
};

} // namespace

TEST(LayoutGrid, StepsAndMinimumsFromTheScreen) {
    const struct {
        ScreenSize screen;
        std::int32_t units, gridX, gridY, minWidth, minHeight;
    } rows[] = {
        {kScreen, 28, 480, 360, 3840, 5760},
        {kScreen, 16, 480, 360, 3840, 3291},
        {kScreen, 0, 480, 360, 3840, 0},
        {{20490, 11520}, 29, 640, 360, 5122, 5966},
    };
    for (const auto& r : rows) {
        const LayoutGrid g = layoutGrid(r.screen, r.units);
        EXPECT_EQ(g.gridX, r.gridX);
        EXPECT_EQ(g.gridY, r.gridY);
        EXPECT_EQ(g.minWidth, r.minWidth);
        EXPECT_EQ(g.minHeight, r.minHeight) << r.units;
    }
}

TEST(PlaceWindow, SnapsFitsAndKeepsTheWindowOnTheScreen) {
    struct Row {
        const char* name;
        std::uint8_t reason;
        WindowPlacement stored;       // width, height, left, top
        std::array<double, 4> before; // width, height, left, top
        int state;
        std::int32_t units;
        double quantum;
        std::array<double, 4> after;     // width, height, left, top
        std::array<std::int32_t, 2> set; // formWidthSet, formHeightSet
        bool arrangePanels;
    };
    const Row rows[] = {
        {"stored width above 95 % of the screen",
         1,
         {15000, 9000, 100, 100},
         {},
         0,
         28,
         0,
         {11520, 8640, 1920, 1440},
         {11520, 8640},
         true},
        {"first-run placement",
         1,
         {8448, 8640, 3456, 1440},
         {},
         0,
         28,
         0,
         {11520, 8640, 3456, 1440},
         {11520, 8640},
         true},
        {"first-run placement in whole pixels",
         1,
         {8448, 8640, 3456, 1440},
         {},
         0,
         28,
         15,
         {11520, 8640, 3450, 1440},
         {11520, 8640},
         true},
        {"stored left right of the screen",
         1,
         {8000, 6000, 16000, 0},
         {},
         0,
         28,
         0,
         {11520, 8640, 1920, 1440},
         {11520, 8640},
         true},
        {"stored place off the screen",
         1,
         {8000, 6000, -5000, 30000},
         {},
         0,
         28,
         0,
         {7680, 5760, 0, 5184},
         {7680, 5760},
         true},
        {"toggle with the window 8000 high",
         2,
         {},
         {9000, 8000, 100, 100},
         0,
         28,
         0,
         {10560, 7920, 100, 100},
         {10560, 7920},
         true},
        {"user widened the window to 10000",
         3,
         {},
         {10000, 7920, 100, 100},
         0,
         28,
         0,
         {9600, 7200, 100, 100},
         {9600, 7200},
         true},
        {"too small: minimum height without the 4:3 width",
         2,
         {},
         {2000, 2000, 0, 0},
         0,
         28,
         0,
         {3840, 5760, 0, 0},
         {3840, 5760},
         true},
        {"no panel visible",
         2,
         {},
         {500, 400, 0, 0},
         0,
         0,
         0,
         {3840, 360, 0, 0},
         {3840, 360},
         true},
        {"taller than the screen",
         2,
         {},
         {15000, 12000, 0, 0},
         0,
         28,
         0,
         {15360, 11880, 0, 0},
         {15360, 11880},
         true},
        {"hanging off the bottom right",
         2,
         {},
         {8000, 6000, 14000, 9000},
         0,
         28,
         0,
         {7680, 5760, 6912, 5184},
         {7680, 5760},
         true},
        {"maximized: neither moved nor resized",
         2,
         {},
         {15360, 11000, 0, 0},
         2,
         28,
         0,
         {15360, 11000, 0, 0},
         {15360, 11000},
         true},
        {"minimized: placed, no panels",
         1,
         {8448, 8640, 3456, 1440},
         {},
         1,
         28,
         0,
         {8448, 8640, 3456, 1440},
         {8448, 8640},
         false},
    };
    for (const Row& r : rows) {
        FakeWindow window;
        window.quantum = r.quantum;
        window.w = r.before[0];
        window.h = r.before[1];
        window.l = r.before[2];
        window.t = r.before[3];
        window.state = r.state;
        WindowLayoutState state{r.reason, r.units, r.stored};
        EXPECT_EQ(placeWindow(kScreen, state, window), r.arrangePanels) << r.name;
        EXPECT_EQ(window.w, r.after[0]) << r.name;
        EXPECT_EQ(window.h, r.after[1]) << r.name;
        EXPECT_EQ(window.l, r.after[2]) << r.name;
        EXPECT_EQ(window.t, r.after[3]) << r.name;
        EXPECT_EQ(state.set.width, r.set[0]) << r.name;
        EXPECT_EQ(state.set.height, r.set[1]) << r.name;
        EXPECT_EQ(state.layoutReason, r.reason == 3 ? 3 : 2) << r.name;
    }
}

TEST(PanelHeights, SharesOfTheWindowHeightWithCaps) {
    const double available = availableHeightOf(7920);
    EXPECT_EQ(available, 7320);
    const struct {
        Panel panel;
        double available;
        std::int32_t units;
        double height; // before the cap
        double cap;
    } rows[] = {
        {Panel::PixGraf, available, 28, 3921.43, INFINITY},
        {Panel::LEDdisp, available, 28, 509.79, 1000},
        {Panel::BarGraf, available, 28, 509.79, 1000},
        {Panel::SesshnStuff, available, 28, 758.14, 1500},
        {Panel::SeshnComnts, available, 28, 758.14, 1500},
        {Panel::Params, available, 28, 758.14, 1000},
        {Panel::PixGraf, available, 16, 6862.5, INFINITY},
        {Panel::LEDdisp, available, 2, 7137, 1000},
        {Panel::SesshnStuff, available, 3, 7076, 1500},
        // Start-up counts the time panel 2 and its toggle 3: hiding it may leave 1 unit.
        {Panel::BarGraf, available, 1, 14274, 1000},
    };
    for (const auto& r : rows) {
        EXPECT_NEAR(panelHeight(r.panel, r.available, r.units), r.height, 0.01)
            << static_cast<int>(r.panel) << " " << r.units;
        EXPECT_EQ(panelHeightCap(r.panel), r.cap);
    }
    // All six shown: their shares (27.6 units) end above the bottom of the 28-unit height.
    double total = 0;
    for (int p = 0; p < kPanelCount; ++p)
        total += panelHeight(static_cast<Panel>(p), available, 28);
    EXPECT_LT(total, available);
    EXPECT_TRUE(std::isfinite(panelHeight(Panel::PixGraf, available, 0)));
}

TEST(PanelContents, StayInsideTheirPanels) {
    for (double windowWidth : {3840.0, 8445.0, 11520.0, 15360.0}) {
        const double fW = panelWidthOf(windowWidth);
        const double fH = 600;
        // Lamps: 0 rightmost, touching, all inside the panel.
        for (int i = 0; i < 8; ++i) {
            const Rect lamp = lampRect(i, fH, windowWidth);
            EXPECT_GT(lamp.left, 0) << windowWidth << " lamp " << i;
            EXPECT_LT(lamp.left + lamp.width, fW) << windowWidth << " lamp " << i;
            if (i > 0) {
                EXPECT_NEAR(lampRect(i - 1, fH, windowWidth).left, lamp.left + lamp.width, 1e-6);
            }
        }
        // Cells: 0 leftmost, touching, all inside the panel.
        for (int i = 0; i < 32; ++i) {
            const Rect cell = barCellRect(i, fH, windowWidth);
            EXPECT_GT(cell.left, 0);
            EXPECT_LT(cell.left + cell.width, fW) << windowWidth << " cell " << i;
            if (i > 0) {
                EXPECT_NEAR(barCellRect(i - 1, fH, windowWidth).left + cell.width, cell.left, 1e-6);
            }
        }
        // Readouts: headings on top of their values, five columns inside the panel.
        for (int i = 0; i < 10; ++i) {
            const Rect r = readoutRect(i, fH, fW);
            const Rect heading = readoutRect(i - i % 2, fH, fW);
            EXPECT_EQ(r.left, heading.left);
            if (i % 2) {
                EXPECT_NEAR(r.top, heading.top + heading.height, 1e-9);
            }
            EXPECT_LT(r.left + r.width, fW);
            EXPECT_LT(r.top + r.height, fH);
        }
        // Time, sensitivity and port: six cells in a row; the notice over the port heading.
        for (int i = 0; i < 6; ++i)
            EXPECT_LT(paramRect(i, fH, fW, 0).left + paramRect(i, fH, fW, 0).width, fW);
        const Rect notice = paramRect(6, fH, fW, 4321);
        EXPECT_EQ(notice.left, 4321);
        EXPECT_EQ(notice.width, 2 * paramRect(4, fH, fW, 0).width);
    }
    const Rect surface = graphSurfaceRect(4025, 10000);
    EXPECT_DOUBLE_EQ(surface.left, 1000);
    EXPECT_DOUBLE_EQ(surface.top, 125);
    EXPECT_DOUBLE_EQ(surface.width, 8800);
    EXPECT_DOUBLE_EQ(surface.height, 3600);
    const Rect size = axisLabelSize(4025, surface);
    EXPECT_DOUBLE_EQ(size.height, 220);
    EXPECT_DOUBLE_EQ(size.left, 50);
    EXPECT_DOUBLE_EQ(size.width, 950);
    // Vertical-axis labels from the top of the surface to its bottom, time labels under it
    // from its left edge to its right edge.
    EXPECT_DOUBLE_EQ(axisLabelPlace(0, 4025, surface, size).top, 125 - 86.4);
    EXPECT_DOUBLE_EQ(axisLabelPlace(2, 4025, surface, size).top, 125 + 1690);
    EXPECT_DOUBLE_EQ(axisLabelPlace(4, 4025, surface, size).top, 125 + 3380 + 86.4);
    EXPECT_DOUBLE_EQ(axisLabelPlace(4, 4025, surface, size).left, 50);
    EXPECT_DOUBLE_EQ(axisLabelPlace(5, 4025, surface, size).left, 1000);
    EXPECT_DOUBLE_EQ(axisLabelPlace(9, 4025, surface, size).left + size.width, 9800);
    EXPECT_DOUBLE_EQ(axisLabelPlace(7, 4025, surface, size).top, 4025 - 286);
    EXPECT_DOUBLE_EQ(commentsBoxSize(1000, 9000).height, 820);
    EXPECT_DOUBLE_EQ(commentsBoxSize(1000, 9000).width, 8820);
}

TEST(PanelFont, FollowsTheWindowWidth) {
    const struct {
        double windowWidth;
        const char* name;
        int points;
    } rows[] = {
        {8000, "IBMPC", 8},   {8334, "Arial", 8}, {9000, "Arial", 8},   {12000, "Arial", 12},
        {6000, "IBMPC", 6},   {8333, "IBMPC", 8}, {15360, "Arial", 16}, {3840, "IBMPC", 3},
        {11520, "Arial", 11}, {0, "IBMPC", 0},
    };
    for (const auto& r : rows) {
        const PanelFontChoice font = choosePanelFont(fontBasisOf(r.windowWidth));
        EXPECT_EQ(font.name, r.name) << r.windowWidth;
        EXPECT_EQ(font.points, r.points) << r.windowWidth;
    }
    EXPECT_EQ(choosePanelFont(std::nanf("")).points, 0);
}
