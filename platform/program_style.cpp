#include "platform/program_style.h"

#include <QApplication>
#include <QIconEngine>
#include <QPainter>
#include <QPointer>
#include <QProxyStyle>
#include <QStyleFactory>

#include <functional>
#include <optional>

namespace sylvane::platform {

namespace {

// An icon made by `make` when it is first drawn or measured.
class IconOnFirstUse final : public QIconEngine {
public:
    explicit IconOnFirstUse(std::function<QIcon()> make) : m_make(std::move(make)) {}

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode,
               QIcon::State state) override {
        icon().paint(painter, rect, Qt::AlignCenter, mode, state);
    }
    QSize actualSize(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
        return icon().actualSize(size, mode, state);
    }
    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
        return icon().pixmap(size, mode, state);
    }
    QPixmap scaledPixmap(const QSize& size, QIcon::Mode mode, QIcon::State state,
                         qreal scale) override {
        return icon().pixmap(size, scale, mode, state);
    }
    QList<QSize> availableSizes(QIcon::Mode mode, QIcon::State state) override {
        return icon().availableSizes(mode, state);
    }
    // Asked before anything is drawn; the style's arrows are never null.
    bool isNull() override { return false; }
    QString key() const override { return QStringLiteral("IconOnFirstUse"); }
    QIconEngine* clone() const override { return new IconOnFirstUse(*this); }

private:
    const QIcon& icon() {
        if (!m_icon) m_icon = m_make();
        return *m_icon;
    }

    std::function<QIcon()> m_make;
    std::optional<QIcon> m_icon;
};

class ProgramStyle final : public QProxyStyle {
public:
    using QProxyStyle::QProxyStyle;

    QIcon standardIcon(StandardPixmap icon, const QStyleOption* option,
                       const QWidget* widget) const override {
        if (icon != SP_ToolBarHorizontalExtensionButton &&
            icon != SP_ToolBarVerticalExtensionButton)
            return QProxyStyle::standardIcon(icon, option, widget);
        // Made for no option and no widget: the arrow's widget may be gone by then.
        return QIcon(new IconOnFirstUse([base = QPointer<QStyle>(baseStyle()), icon] {
            return base ? base->standardIcon(icon) : QIcon();
        }));
    }
};

} // namespace

void useProgramStyle() {
    // A fresh copy of the style the application chose (the platform's, -style or
    // QT_STYLE_OVERRIDE), for the proxy to own.
    QStyle* chosen = QStyleFactory::create(QApplication::style()->name());
    if (!chosen) return;
    QApplication::setStyle(new ProgramStyle(chosen));
}

} // namespace sylvane::platform
