#pragma once
// Positions and sizes of the window and its controls are kept in twips (1/1440 inch), as the
// program's layout rules are written in them. The screen's dpi decides how many twips make a
// pixel: 15 at 96 dpi.

class QWidget;

namespace sylvane::platform {

double twipsPerPixel();
int toPixels(double twips);
double toTwips(int pixels);

// A control's geometry relative to its container, in twips. Reading gives back what the
// widget actually has (whole pixels), as the layout rules expect.
double twipsLeft(const QWidget* w);
double twipsTop(const QWidget* w);
double twipsWidth(const QWidget* w);
double twipsHeight(const QWidget* w);
void setTwipsLeft(QWidget* w, double left);
void setTwipsTop(QWidget* w, double top);
void setTwipsWidth(QWidget* w, double width);
void setTwipsHeight(QWidget* w, double height);
void setTwipsGeometry(QWidget* w, double left, double top, double width, double height);

// The primary screen's size in twips.
double screenWidthTwips();
double screenHeightTwips();

} // namespace sylvane::platform
