#include "platform/program_icon.h"

#include <QImage>
#include <QPainter>
#include <QPixmap>

namespace sylvane::platform {

namespace {
QPixmap iconImage(int size) {
    QImage image(size, size, QImage::Format_RGB32);
    image.fill(QColor(0, 0, 128));
    QPainter p(&image);
    p.setPen(QColor(255, 0, 255));
    p.drawRect(0, 0, size - 1, size - 1);
    p.setPen(QPen(QColor(255, 255, 255), size >= 32 ? 2 : 1));
    const int n = 8;
    QPoint last(1, size / 2);
    for (int i = 1; i <= n; ++i) {
        const int x = 1 + i * (size - 3) / n;
        const int y = size / 2 + ((i % 3 == 0) ? -size / 4 : (i % 2 ? size / 8 : -size / 10));
        p.drawLine(last, QPoint(x, y));
        last = QPoint(x, y);
    }
    p.end();
    // Sixteen colours, as the icon was drawn.
    return QPixmap::fromImage(image.convertToFormat(QImage::Format_Indexed8, Qt::ThresholdDither)
                                  .convertToFormat(QImage::Format_RGB32));
}
} // namespace

QIcon programIcon() {
    QIcon icon;
    icon.addPixmap(iconImage(32));
    icon.addPixmap(iconImage(16));
    return icon;
}

} // namespace sylvane::platform
