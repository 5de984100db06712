#include "platform/twips.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <cmath>

namespace sylvane::platform {

double twipsPerPixel() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    const double dpi = screen ? screen->logicalDotsPerInchX() : 96.0;
    return 1440.0 / (dpi > 0 ? dpi : 96.0);
}

int toPixels(double twips) {
    const double px = twips / twipsPerPixel();
    if (!std::isfinite(px)) return 0;
    if (px > 1e6) return 1000000;
    if (px < -1e6) return -1000000;
    return static_cast<int>(std::lround(px));
}

double toTwips(int pixels) {
    return pixels * twipsPerPixel();
}

double twipsLeft(const QWidget* w) {
    return toTwips(w->x());
}
double twipsTop(const QWidget* w) {
    return toTwips(w->y());
}
double twipsWidth(const QWidget* w) {
    return toTwips(w->width());
}
double twipsHeight(const QWidget* w) {
    return toTwips(w->height());
}

void setTwipsLeft(QWidget* w, double left) {
    w->move(toPixels(left), w->y());
}
void setTwipsTop(QWidget* w, double top) {
    w->move(w->x(), toPixels(top));
}
void setTwipsWidth(QWidget* w, double width) {
    w->resize(std::max(0, toPixels(width)), w->height());
}
void setTwipsHeight(QWidget* w, double height) {
    w->resize(w->width(), std::max(0, toPixels(height)));
}

void setTwipsGeometry(QWidget* w, double left, double top, double width, double height) {
    w->setGeometry(toPixels(left), toPixels(top), std::max(0, toPixels(width)),
                   std::max(0, toPixels(height)));
}

double screenWidthTwips() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    return toTwips(screen ? screen->geometry().width() : 1024);
}

double screenHeightTwips() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    return toTwips(screen ? screen->geometry().height() : 768);
}

} // namespace sylvane::platform
