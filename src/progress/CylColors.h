// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "controls/Color.h"

#include <QRgb>

namespace stowmere::progress {

// Color (plain RGB, or the desktop's system colour n) is the controls' colour type;
// these helpers give the bar's code short, scoped names.

namespace colors {

constexpr stowmere::controls::Color system(int index)
{
    return stowmere::controls::Color::system(index);
}
constexpr bool isSystem(stowmere::controls::Color c)
{
    return c.isSystem();
}
constexpr int systemIndex(stowmere::controls::Color c)
{
    return c.systemIndex();
}

constexpr stowmere::controls::Color rgb(int r, int g, int b)
{
    return stowmere::controls::Color::rgb(r, g, b);
}

constexpr stowmere::controls::Color clBlack = rgb(0, 0, 0);
constexpr stowmere::controls::Color clWhite = rgb(255, 255, 255);
constexpr stowmere::controls::Color clWindow = system(5);
constexpr stowmere::controls::Color clHighlight = system(13);
constexpr stowmere::controls::Color clBtnFace = system(15);
constexpr stowmere::controls::Color clBtnShadow = system(16);
constexpr stowmere::controls::Color clBtnHighlight = system(20);
constexpr stowmere::controls::Color cl3DDkShadow = system(21);
constexpr stowmere::controls::Color cl3DLight = system(22);

/// The RGB behind a colour value; system colours come from the application palette.
QRgb resolve(stowmere::controls::Color c);

/// Resolved colour as red, green and blue channel values.
struct Rgb {
    int r = 0;
    int g = 0;
    int b = 0;
    friend bool operator==(const Rgb&, const Rgb&) = default;
};

Rgb channels(stowmere::controls::Color c);

} // namespace colors

} // namespace stowmere::progress
