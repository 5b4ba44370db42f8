// SPDX-License-Identifier: GPL-3.0-or-later
#include "controls/Color.h"

#include <QGuiApplication>
#include <QPalette>

namespace stowmere::controls {

namespace {

QPalette::ColorRole roleOfSystemColor(int index)
{
    switch (index) {
    case 5:
        return QPalette::Base;
    case 8:
        return QPalette::Text;
    case 13:
        return QPalette::Highlight;
    case 14:
        return QPalette::HighlightedText;
    case 15:
        return QPalette::Button;
    case 16:
        return QPalette::Dark;
    case 18:
        return QPalette::ButtonText;
    case 20:
        return QPalette::Light;
    case 21:
        return QPalette::Shadow;
    case 22:
        return QPalette::Midlight;
    default:
        return QPalette::Window;
    }
}

} // namespace

Color resolvedRgb(Color color)
{
    if (!color.isSystem())
        return Color::rgb(color.red(), color.green(), color.blue());
    const QColor resolved =
        QGuiApplication::palette().color(QPalette::Active, roleOfSystemColor(color.systemIndex()));
    return fromQColor(resolved);
}

QColor toQColor(Color color)
{
    const Color rgb = resolvedRgb(color);
    return QColor(rgb.red(), rgb.green(), rgb.blue());
}

Color fromQColor(const QColor& color)
{
    return Color::rgb(color.red(), color.green(), color.blue());
}

} // namespace stowmere::controls
