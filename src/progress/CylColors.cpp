// SPDX-License-Identifier: GPL-3.0-or-later
#include "progress/CylColors.h"

#include <QGuiApplication>
#include <QPalette>

namespace CylColors {

namespace {

// The desktop's system colours are taken from the application palette so the
// bar follows the user's theme the way it follows the system scheme elsewhere.
QColor paletteColour(int index)
{
    const QPalette pal = QGuiApplication::palette();
    switch (index) {
    case 5: return pal.color(QPalette::Active, QPalette::Base);
    case 13: return pal.color(QPalette::Active, QPalette::Highlight);
    case 15: return pal.color(QPalette::Active, QPalette::Button);
    case 16: return pal.color(QPalette::Active, QPalette::Dark);
    case 20: return pal.color(QPalette::Active, QPalette::Light);
    case 21: return pal.color(QPalette::Active, QPalette::Shadow);
    case 22: return pal.color(QPalette::Active, QPalette::Midlight);
    case 8: return pal.color(QPalette::Active, QPalette::WindowText);
    case 18: return pal.color(QPalette::Active, QPalette::ButtonText);
    case 14: return pal.color(QPalette::Active, QPalette::HighlightedText);
    default: return pal.color(QPalette::Active, QPalette::Window);
    }
}

} // namespace

QRgb resolve(TColor c)
{
    if (isSystem(c))
        return paletteColour(systemIndex(c)).rgb();
    return qRgb(static_cast<int>(c & 0xFF), static_cast<int>((c >> 8) & 0xFF),
                static_cast<int>((c >> 16) & 0xFF));
}

Rgb channels(TColor c)
{
    const QRgb v = resolve(c);
    return {qRed(v), qGreen(v), qBlue(v)};
}

} // namespace CylColors
