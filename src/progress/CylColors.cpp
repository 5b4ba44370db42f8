// SPDX-License-Identifier: GPL-3.0-or-later
#include "progress/CylColors.h"

using stowmere::controls::ColorToRGB;
using stowmere::controls::GetBValue;
using stowmere::controls::GetGValue;
using stowmere::controls::GetRValue;
using stowmere::controls::TColor;

namespace CylColors {

QRgb resolve(TColor c)
{
    const TColor v = ColorToRGB(c);
    return qRgb(GetRValue(v), GetGValue(v), GetBValue(v));
}

Rgb channels(TColor c)
{
    const QRgb v = resolve(c);
    return {qRed(v), qGreen(v), qBlue(v)};
}

} // namespace CylColors
