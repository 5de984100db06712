#pragma once
// How the main window follows its session engine: the view shows readouts, captions, the clock
// and the colour displays, and ends a session that cannot go on; the canvas is the picture
// graph's drawing surface.

#include "acquisition/session_engine.h"
#include "app/frm_sylvane.h"

namespace sylvane::app {

class frmSylvane::View final : public acquisition::SessionView {
public:
    explicit View(frmSylvane& w) : m_w(w) {}
    void showReadouts(const acquisition::Readouts& readouts) override;
    void showReference(std::string_view caption) override;
    void showSensitivity(std::string_view caption) override;
    void showElapsed(std::string_view text) override;
    void showColourDisplays(const acquisition::ColourDisplays& displays) override;
    void sessionMustEnd(acquisition::SessionEnd why, std::string_view detail) override;

private:
    frmSylvane& m_w;
};

class frmSylvane::Canvas final : public acquisition::GraphCanvas {
public:
    explicit Canvas(frmSylvane& w) : m_w(w) {}
    float scaleWidth() const override;
    float scaleHeight() const override;
    void clear() override;
    void showAxisLabels(const std::array<std::string, 10>& texts) override;
    void dot(std::int32_t x, std::int32_t y, std::uint32_t color) override;
    void lineTo(std::int32_t x, std::int32_t y, std::uint32_t color) override;
    void showNotice(Notice notice) override;
    void verticalMark(std::int32_t x, std::string_view label, std::uint32_t color) override;

private:
    frmSylvane& m_w;
};

} // namespace sylvane::app
