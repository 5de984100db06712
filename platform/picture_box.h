#pragma once
// The drawing surface of the picture graph. What is drawn stays drawn (across repaints, hides
// and resizes) until Cls; coordinates are pixels of the inner area, ScaleWidth x ScaleHeight.
// Line draws from the current drawing position, which PSet and Line move and Cls resets.

#include <QImage>
#include <QWidget>
#include <cstdint>

namespace sylvane::platform {

class PictureBox : public QWidget {
    Q_OBJECT
public:
    explicit PictureBox(const QString& controlName, QWidget* parent = nullptr);

    float ScaleWidth() const { return static_cast<float>(width()); }
    float ScaleHeight() const { return static_cast<float>(height()); }

    void Cls();
    void PSet(float x, float y, std::uint32_t vbColor);
    void Line(float x, float y, std::uint32_t vbColor);
    // A thin vertical line across the picture at x with a small label by its top; the drawing
    // position stays where it was.
    void Mark(float x, const QString& label, std::uint32_t vbColor);
    int DrawWidth() const { return m_drawWidth; }
    void setDrawWidth(int width) { m_drawWidth = width < 1 ? 1 : width; }

    std::uint32_t backColor() const { return m_backColor; }
    void setBackColor(std::uint32_t vbColor);

    float currentX() const { return m_currentX; }
    float currentY() const { return m_currentY; }

    // The persistent drawing, for tests and screenshots.
    const QImage& image() const { return m_image; }

Q_SIGNALS:
    void clicked();
    // A left click with Ctrl or Shift held (clicked() comes too).
    void modifiedClicked();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    void ensureImage();
    void drawThinLine(QPoint from, QPoint to, QRgb rgb);

    QImage m_image;
    std::uint32_t m_backColor = 0x000000;
    int m_drawWidth = 1;
    float m_currentX = 0;
    float m_currentY = 0;
};

} // namespace sylvane::platform
