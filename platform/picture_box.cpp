#include "platform/picture_box.h"

#include "platform/vb_colors.h"

#include <QMouseEvent>
#include <QPainter>
#include <algorithm>
#include <cmath>

namespace sylvane::platform {

namespace {
// Drawing coordinates far outside the picture are clipped anyway; keep them in a range the
// painter handles without overflow.
int clampCoord(float v) {
    if (!std::isfinite(v)) return v > 0 ? 1000000 : -1000000;
    if (v > 1e6f) return 1000000;
    if (v < -1e6f) return -1000000;
    return static_cast<int>(std::lround(v));
}
} // namespace

PictureBox::PictureBox(const QString& controlName, QWidget* parent) : QWidget(parent) {
    setObjectName(controlName);
    setAttribute(Qt::WA_OpaquePaintEvent);
    ensureImage();
}

void PictureBox::setBackColor(std::uint32_t vbColor) {
    m_backColor = vbColor;
    update();
}

void PictureBox::ensureImage() {
    // The drawing never shrinks with the widget, so a window made smaller and then larger again
    // still shows everything drawn before.
    const QSize size(std::max({1, width(), m_image.width()}),
                     std::max({1, height(), m_image.height()}));
    if (m_image.size() == size) return;
    QImage grown(size, QImage::Format_RGB32);
    grown.fill(toQColor(m_backColor));
    if (!m_image.isNull()) {
        QPainter p(&grown);
        p.drawImage(0, 0, m_image);
    }
    m_image = grown;
}

void PictureBox::Cls() {
    ensureImage();
    m_image.fill(toQColor(m_backColor));
    m_currentX = 0;
    m_currentY = 0;
    update();
}

void PictureBox::PSet(float x, float y, std::uint32_t vbColor) {
    ensureImage();
    const int px = clampCoord(x);
    const int py = clampCoord(y);
    const QColor color = toQColor(vbColor);
    if (m_drawWidth <= 1) {
        if (m_image.valid(px, py)) m_image.setPixel(px, py, color.rgb());
    } else {
        QPainter p(&m_image);
        p.fillRect(px - m_drawWidth / 2, py - m_drawWidth / 2, m_drawWidth, m_drawWidth, color);
    }
    m_currentX = x;
    m_currentY = y;
    update(px - m_drawWidth, py - m_drawWidth, 2 * m_drawWidth + 1, 2 * m_drawWidth + 1);
}

void PictureBox::Line(float x, float y, std::uint32_t vbColor) {
    ensureImage();
    const QPoint from(clampCoord(m_currentX), clampCoord(m_currentY));
    const QPoint to(clampCoord(x), clampCoord(y));
    if (m_drawWidth <= 1) {
        drawThinLine(from, to, toQColor(vbColor).rgb());
    } else {
        // A wide pen is rare (the graph draws with width 1); the painter draws it.
        QPainter p(&m_image);
        QPen pen(toQColor(vbColor));
        pen.setWidth(m_drawWidth);
        p.setPen(pen);
        p.drawLine(from, to);
    }
    m_currentX = x;
    m_currentY = y;
    update(QRect(from, to).normalized().adjusted(-m_drawWidth, -m_drawWidth, m_drawWidth,
                                                 m_drawWidth));
}

// One pixel wide, both ends included, straight into the image: a trace segment is a few pixels
// long, and setting up a painter for each would cost more than drawing it.
void PictureBox::drawThinLine(QPoint from, QPoint to, QRgb rgb) {
    // A point far off the picture (a reading off scale) is brought to the picture's edge first,
    // so that only the visible part of the segment is walked.
    const QRect bounds = m_image.rect();
    if (!bounds.contains(from) || !bounds.contains(to)) {
        double t0 = 0, t1 = 1;
        const double x0 = from.x(), y0 = from.y();
        const double ddx = to.x() - x0, ddy = to.y() - y0;
        const double p[4] = {-ddx, ddx, -ddy, ddy};
        const double q[4] = {x0 - bounds.left(), bounds.right() - x0, y0 - bounds.top(),
                             bounds.bottom() - y0};
        for (int i = 0; i < 4; ++i) {
            if (p[i] == 0) {
                if (q[i] < 0) return;
                continue;
            }
            const double r = q[i] / p[i];
            if (p[i] < 0) {
                if (r > t1) return;
                t0 = std::max(t0, r);
            } else {
                if (r < t0) return;
                t1 = std::min(t1, r);
            }
        }
        const QPoint a(static_cast<int>(std::lround(x0 + t0 * ddx)),
                       static_cast<int>(std::lround(y0 + t0 * ddy)));
        to = QPoint(static_cast<int>(std::lround(x0 + t1 * ddx)),
                    static_cast<int>(std::lround(y0 + t1 * ddy)));
        from = a;
    }
    const int dx = std::abs(to.x() - from.x());
    const int dy = -std::abs(to.y() - from.y());
    const int sx = from.x() < to.x() ? 1 : -1;
    const int sy = from.y() < to.y() ? 1 : -1;
    int err = dx + dy;
    int px = from.x();
    int py = from.y();
    for (int steps = std::max(dx, -dy); steps >= 0; --steps) {
        if (bounds.contains(px, py)) reinterpret_cast<QRgb*>(m_image.scanLine(py))[px] = rgb;
        const int e2 = 2 * err;
        if (e2 >= dy) {
            err += dy;
            px += sx;
        }
        if (e2 <= dx) {
            err += dx;
            py += sy;
        }
    }
}

void PictureBox::Mark(float x, const QString& label, std::uint32_t vbColor) {
    ensureImage();
    const int px = clampCoord(x);
    QPainter p(&m_image);
    p.setPen(QPen(toQColor(vbColor), 0));
    p.drawLine(px, 0, px, height() - 1);
    QFont font = p.font();
    font.setPixelSize(10);
    p.setFont(font);
    const QRect text(px + 2, 1, 40, 12);
    p.drawText(text, Qt::AlignLeft | Qt::AlignTop, label);
    update(QRect(px, 0, 1, height()).united(text));
}

void PictureBox::paintEvent(QPaintEvent* event) {
    // The drawing never shrinks with the widget, so it covers whatever is to be repainted (a
    // new point repaints a few pixels of it, not the whole picture).
    QPainter p(this);
    if (!m_image.rect().contains(event->rect())) p.fillRect(event->rect(), toQColor(m_backColor));
    p.drawImage(event->rect().topLeft(), m_image, event->rect());
}

void PictureBox::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    ensureImage();
}

void PictureBox::mousePressEvent(QMouseEvent* event) {
    QWidget::mousePressEvent(event);
    if (event->button() != Qt::LeftButton) return;
    Q_EMIT clicked();
    if (event->modifiers() & (Qt::ControlModifier | Qt::ShiftModifier)) Q_EMIT modifiedClicked();
}

} // namespace sylvane::platform
