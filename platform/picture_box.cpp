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
    QPainter p(&m_image);
    QPen pen(toQColor(vbColor));
    pen.setWidth(m_drawWidth <= 1 ? 0 : m_drawWidth);
    p.setPen(pen);
    const QPoint from(clampCoord(m_currentX), clampCoord(m_currentY));
    const QPoint to(clampCoord(x), clampCoord(y));
    p.drawLine(from, to);
    m_currentX = x;
    m_currentY = y;
    update(QRect(from, to).normalized().adjusted(-m_drawWidth, -m_drawWidth, m_drawWidth,
                                                 m_drawWidth));
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
    QPainter p(this);
    p.fillRect(rect(), toQColor(m_backColor));
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
