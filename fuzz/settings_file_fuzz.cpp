// sylvane.ini as any file can hold it: reading must never trap and must always give usable
// values (a port within 1..8, a sensitivity within 20..1000, visibility "True" or "False" with
// panelUnits their weights); what is read, written and read again stays the same; and the first
// layout from the stored window values keeps the window on the screen, however absurd they are.

#include "app/settings_file.h"
#include "display/layout_math.h"
#include "platform/number_rules.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

namespace {

void check(bool condition, const char* what) {
    if (condition) return;
    std::fprintf(stderr, "settings file: %s\n", what);
    std::abort();
}

using sylvane::app::SettingsValues;

void checkUsable(const SettingsValues& v) {
    const double port = sylvane::platform::numericValue(v.port);
    check(port >= sylvane::app::kLowestPort && port <= sylvane::app::kHighestPort,
          "port outside 1..8");
    const double sensitivity = sylvane::platform::numericValue(v.sensitivity);
    check(sensitivity >= 20 && sensitivity <= 1000, "sensitivity outside 20..1000");
    std::int32_t units = 0;
    for (int i = 0; i < sylvane::app::kPanelEntryCount; ++i) {
        check(v.visible[i] == "True" || v.visible[i] == "False",
              "visibility neither True nor False");
        if (v.visible[i] == "True") units += sylvane::app::kReaderPanelWeights[i];
    }
    check(v.panelUnits == units, "panelUnits is not the weights of the shown panels");
}

bool samePlacement(const SettingsValues& a, const SettingsValues& b) {
    return a.formWidth == b.formWidth && a.formHeight == b.formHeight && a.formTop == b.formTop &&
           a.formLeft == b.formLeft;
}

// The main window as the layout sees it: whole pixels of 15 twips, never less than one.
class Window : public sylvane::display::LayoutWindow {
public:
    double width() const override { return m_width; }
    double height() const override { return m_height; }
    double left() const override { return m_left; }
    double top() const override { return m_top; }
    void setWidth(double twips) override { m_width = std::max(15.0, pixels(twips)); }
    void setHeight(double twips) override { m_height = std::max(15.0, pixels(twips)); }
    void setLeft(double twips) override { m_left = pixels(twips); }
    void setTop(double twips) override { m_top = pixels(twips); }
    int displayState() const override { return sylvane::display::kNormalWindow; }

private:
    static double pixels(double twips) { return 15.0 * sylvane::platform::nearest(twips / 15.0); }
    double m_width = 9000;
    double m_height = 7000;
    double m_left = 0;
    double m_top = 0;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);

    // As at start-up: the values before the read are the empty ones of a new window.
    const SettingsValues read = sylvane::app::readSettings(text);
    checkUsable(read);

    // Written at close and read at the next start: the same values, and from then on the same
    // file. (A value line may hold a quote that the written form cannot; it is cut there.)
    const SettingsValues again = sylvane::app::readSettings(sylvane::app::writeSettings(read));
    checkUsable(again);
    check(samePlacement(read, again), "window values changed on the way through the file");
    check(again.visible == read.visible, "visibility changed on the way through the file");
    const std::string file = sylvane::app::writeSettings(again);
    check(sylvane::app::writeSettings(sylvane::app::readSettings(file)) == file,
          "a written file does not read back to itself");

    // The first layout on a 1024 x 768 screen.
    const sylvane::display::ScreenSize screen{15360, 11520};
    sylvane::display::WindowLayoutState state;
    state.layoutReason = sylvane::display::kInitialPlacement;
    state.panelUnits = read.panelUnits;
    state.set = {read.formWidth, read.formHeight, read.formLeft, read.formTop};
    Window window;
    check(sylvane::display::placeWindow(screen, state, window), "a normal window was not placed");
    check(window.left() >= 0 && window.top() >= 0, "the window starts off the screen");
    check(window.left() + window.width() <= screen.width + 15 &&
              window.top() + window.height() <= screen.height + 15,
          "the window ends off the screen");
    return 0;
}
