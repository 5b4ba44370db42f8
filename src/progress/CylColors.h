// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "controls/Color.h"

#include <QRgb>

namespace stowmere::progress {

// Color (plain RGB, or the desktop's system colour n) is the controls' colour type;
// these helpers give the bar's code short, scoped names.

namespace colors {

using namespace stowmere::controls::colors;

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
