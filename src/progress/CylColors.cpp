// SPDX-License-Identifier: GPL-3.0-or-later
#include "progress/CylColors.h"

using stowmere::controls::Color;
using stowmere::controls::ColorToRGB;
using stowmere::controls::GetBValue;
using stowmere::controls::GetGValue;
using stowmere::controls::GetRValue;

namespace stowmere::progress::colors {

QRgb resolve(Color c)
{
    const Color v = ColorToRGB(c);
    return qRgb(GetRValue(v), GetGValue(v), GetBValue(v));
}

Rgb channels(Color c)
{
    const QRgb v = resolve(c);
    return {qRed(v), qGreen(v), qBlue(v)};
}

} // namespace stowmere::progress::colors
