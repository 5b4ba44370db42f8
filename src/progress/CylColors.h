// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "controls/TColor.h"

#include <QRgb>

// TColor (0x00BBGGRR, or 0x80000000 + n for the desktop's system colour n) is the
// controls' colour type; these helpers give the bar's code short, scoped names.

namespace CylColors {

constexpr TColor SystemFlag = 0x80000000u;

constexpr TColor system(int index)
{
    return SystemFlag | static_cast<TColor>(index & 0xFF);
}
constexpr bool isSystem(TColor c)
{
    return (c & SystemFlag) != 0;
}
constexpr int systemIndex(TColor c)
{
    return static_cast<int>(c & 0xFF);
}

constexpr TColor rgb(int r, int g, int b)
{
    return static_cast<TColor>(r & 0xFF) | (static_cast<TColor>(g & 0xFF) << 8) |
           (static_cast<TColor>(b & 0xFF) << 16);
}

constexpr TColor clBlack = 0x000000;
constexpr TColor clWhite = 0xFFFFFF;
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
