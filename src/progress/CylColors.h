// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "controls/TColor.h"

#include <QRgb>

// TColor (plain RGB, or the desktop's system colour n) is the controls' colour type;
// these helpers give the bar's code short, scoped names.

namespace CylColors {

constexpr TColor system(int index)
{
    return TColor::system(index);
}
constexpr bool isSystem(TColor c)
{
    return c.isSystem();
}
constexpr int systemIndex(TColor c)
{
    return c.systemIndex();
}

constexpr TColor rgb(int r, int g, int b)
{
    return TColor::rgb(r, g, b);
}

constexpr TColor clBlack = rgb(0, 0, 0);
constexpr TColor clWhite = rgb(255, 255, 255);
constexpr TColor clWindow = system(5);
constexpr TColor clHighlight = system(13);
constexpr TColor clBtnFace = system(15);
constexpr TColor clBtnShadow = system(16);
constexpr TColor clBtnHighlight = system(20);
constexpr TColor cl3DDkShadow = system(21);
constexpr TColor cl3DLight = system(22);

/// The RGB behind a colour value; system colours come from the application palette.
QRgb resolve(TColor c);

/// Resolved colour as red, green and blue channel values.
struct Rgb {
    int r = 0;
    int g = 0;
    int b = 0;
    friend bool operator==(const Rgb&, const Rgb&) = default;
};

Rgb channels(TColor c);

} // namespace CylColors
