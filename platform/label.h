#pragma once
// A label as the window's rules use it: a caption that also serves as a store of state, a
// background and text colour given as 0x00BBGGRR or system colour values (kept exactly as set,
// so they can be read back), a tool tip, and an optional single border.

#include <QLabel>
#include <cstdint>

namespace sylvane::platform {

class Label : public QLabel {
    Q_OBJECT
public:
    explicit Label(const QString& controlName, QWidget* parent = nullptr);

    QString caption() const { return text(); }
    void setCaption(const QString& caption);

    std::uint32_t backColor() const { return m_backColor; }
    void setBackColor(std::uint32_t vbColor);
    std::uint32_t foreColor() const { return m_foreColor; }
    void setForeColor(std::uint32_t vbColor);

    QString toolTipText() const { return toolTip(); }
    void setToolTipText(const QString& tip) {
        if (tip != toolTip()) setToolTip(tip);
    }

    void setSingleBorder(bool on);

Q_SIGNALS:
    void clicked();
    // The caption was changed through setCaption.
    void captionChanged(const QString& caption);

protected:
    void mousePressEvent(QMouseEvent* event) override;

private:
    void applyColors();

    std::uint32_t m_backColor;
    std::uint32_t m_foreColor;
};

} // namespace sylvane::platform
