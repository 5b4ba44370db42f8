// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "controls/TColor.h"

#include <QRgb>

// TColor (plain RGB, or the desktop's system colour n) is the controls' colour type;
// these helpers give the bar's code short, scoped names.

namespace CylColors {

constexpr stowmere::controls::TColor system(int index)
{
    return stowmere::controls::TColor::system(index);
}
constexpr bool isSystem(stowmere::controls::TColor c)
{
    return c.isSystem();
}
constexpr int systemIndex(stowmere::controls::TColor c)
{
    return c.systemIndex();
}

constexpr stowmere::controls::TColor rgb(int r, int g, int b)
{
    return stowmere::controls::TColor::rgb(r, g, b);
}

constexpr stowmere::controls::TColor clBlack = rgb(0, 0, 0);
constexpr stowmere::controls::TColor clWhite = rgb(255, 255, 255);
constexpr stowmere::controls::TColor clWindow = system(5);
constexpr stowmere::controls::TColor clHighlight = system(13);
constexpr stowmere::controls::TColor clBtnFace = system(15);
constexpr stowmere::controls::TColor clBtnShadow = system(16);
constexpr stowmere::controls::TColor clBtnHighlight = system(20);
constexpr stowmere::controls::TColor cl3DDkShadow = system(21);
constexpr stowmere::controls::TColor cl3DLight = system(22);

/// The RGB behind a colour value; system colours come from the application palette.
QRgb resolve(stowmere::controls::TColor c);

/// Resolved colour as red, green and blue channel values.
struct Rgb {
    int r = 0;
    int g = 0;
    int b = 0;
    friend bool operator==(const Rgb&, const Rgb&) = default;
};

Rgb channels(stowmere::controls::TColor c);

} // namespace CylColors
