// The picture graph's drawing surface: what the session engine draws goes to pixXYgraf, its
// axis labels and its range notice; the saved-session display draws on it the same way.

#include "app/frm_sylvane.h"
#include "app/window_followers.h"
#include "display/graph_math.h"
#include "platform/label.h"
#include "platform/picture_box.h"

#include <QAction>

namespace sylvane::app {

float frmSylvane::Canvas::scaleWidth() const {
    return m_w.pixXYgraf->ScaleWidth();
}

float frmSylvane::Canvas::scaleHeight() const {
    return m_w.pixXYgraf->ScaleHeight();
}

void frmSylvane::Canvas::clear() {
    m_w.pixXYgraf->Cls();
}

void frmSylvane::Canvas::showAxisLabels(const std::array<std::string, 10>& texts) {
    for (std::size_t i = 0; i < texts.size(); ++i) {
        m_w.lbl4Graf[i]->setCaption(QString::fromStdString(texts[i]));
    }
}

void frmSylvane::Canvas::dot(std::int32_t x, std::int32_t y, std::uint32_t color) {
    m_w.pixXYgraf->PSet(static_cast<float>(x), static_cast<float>(y), color);
}

void frmSylvane::Canvas::lineTo(std::int32_t x, std::int32_t y, std::uint32_t color) {
    m_w.pixXYgraf->Line(static_cast<float>(x), static_cast<float>(y), color);
}

void frmSylvane::Canvas::verticalMark(std::int32_t x, std::string_view label, std::uint32_t color) {
    m_w.pixXYgraf->Mark(static_cast<float>(x),
                        QString::fromUtf8(label.data(), static_cast<qsizetype>(label.size())),
                        color);
}

void frmSylvane::Canvas::showNotice(Notice notice) {
    Label* label = m_w.lblGrafError;
    if (notice == Notice::Hidden) {
        label->setVisible(false);
        return;
    }
    const bool maximum = notice == Notice::Maximum;
    label->resize(maximum ? display::kMaximumNoticeWidth : display::kReadjustingNoticeWidth,
                  label->height());
    label->setCaption(
        QString::fromLatin1(maximum ? display::kMaximumNotice : display::kReadjustingNotice));
    label->setVisible(true);
}

std::int32_t frmSylvane::PlotGraphPoint(std::int32_t x, float ohms, std::uint32_t color) {
    const acquisition::SessionState& s = engine.state();
    return acquisition::PlotGraphPoint(*m_canvas, x, ohms, color, s.graphBottomOhms, s.graphYScale);
}

void frmSylvane::DrawGraphGrid() {
    const bool savedOnShow = mnuDisplayOld->text() == QStringLiteral("Display another session");
    acquisition::DrawGraphGrid(*m_canvas,
                               savedOnShow ? display::kSavedGridColor : display::kLiveGridColor);
    pixXYgraf->setDrawWidth(1);
}

} // namespace sylvane::app
