#include "platform/vb_colors.h"

#include <QApplication>
#include <QPalette>

namespace sylvane::platform {

bool isSystemColor(std::uint32_t vbColor) {
    return (vbColor & 0xFF000000u) == 0x80000000u;
}

QColor toQColor(std::uint32_t vbColor) {
    if (!isSystemColor(vbColor)) {
        return QColor(static_cast<int>(vbColor & 0xFF), static_cast<int>((vbColor >> 8) & 0xFF),
                      static_cast<int>((vbColor >> 16) & 0xFF));
    }
    const QPalette pal = QApplication::palette();
    switch (vbColor & 0xFF) {
    case 5:
        return pal.color(QPalette::Base);
    case 8:
        return pal.color(QPalette::Text);
    case 13:
        return pal.color(QPalette::Highlight);
    case 14:
        return pal.color(QPalette::HighlightedText);
    case 15:
        return pal.color(QPalette::Button);
    case 16:
        return pal.color(QPalette::Dark);
    case 17:
        return pal.color(QPalette::Disabled, QPalette::Text);
    case 18:
        return pal.color(QPalette::ButtonText);
    case 19:
        return pal.color(QPalette::Inactive, QPalette::PlaceholderText);
    case 20:
        return pal.color(QPalette::Light);
    case 21:
        return pal.color(QPalette::Shadow);
    case 22:
        return pal.color(QPalette::Midlight);
    case 23:
        return pal.color(QPalette::ToolTipText);
    case 24:
        return pal.color(QPalette::ToolTipBase);
    default:
        return pal.color(QPalette::Window);
    }
}

std::uint32_t fromQColor(const QColor& color) {
    return static_cast<std::uint32_t>(color.red()) |
           (static_cast<std::uint32_t>(color.green()) << 8) |
           (static_cast<std::uint32_t>(color.blue()) << 16);
}

} // namespace sylvane::platform
