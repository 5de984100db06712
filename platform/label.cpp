#include "platform/label.h"

#include "platform/vb_colors.h"

#include <QMouseEvent>

namespace sylvane::platform {

Label::Label(const QString& controlName, QWidget* parent)
    : QLabel(parent), m_backColor(0x8000000F), m_foreColor(0x80000012) {
    setObjectName(controlName);
    setAutoFillBackground(true);
    applyColors();
}

void Label::setCaption(const QString& caption) {
    if (caption == text()) return;
    setText(caption);
    Q_EMIT captionChanged(caption);
}

void Label::setBackColor(std::uint32_t vbColor) {
    if (vbColor == m_backColor) return;
    m_backColor = vbColor;
    applyColors();
}

void Label::setForeColor(std::uint32_t vbColor) {
    if (vbColor == m_foreColor) return;
    m_foreColor = vbColor;
    applyColors();
}

void Label::setSingleBorder(bool on) {
    setFrameStyle(on ? (QFrame::Box | QFrame::Plain) : QFrame::NoFrame);
    setLineWidth(1);
}

void Label::mousePressEvent(QMouseEvent* event) {
    QLabel::mousePressEvent(event);
    if (event->button() == Qt::LeftButton) Q_EMIT clicked();
}

void Label::applyColors() {
    QPalette pal = palette();
    pal.setColor(QPalette::Window, toQColor(m_backColor));
    pal.setColor(QPalette::WindowText, toQColor(m_foreColor));
    setPalette(pal);
}

} // namespace sylvane::platform
