// SPDX-License-Identifier: GPL-3.0-or-later
#include "progress/CylColors.h"

using stowmere::controls::Color;
using stowmere::controls::resolvedRgb;

namespace stowmere::progress::colors {

QRgb resolve(Color c)
{
    const Color v = resolvedRgb(c);
    return qRgb(v.red(), v.green(), v.blue());
}

Rgb channels(Color c)
{
    const QRgb v = resolve(c);
    return {qRed(v), qGreen(v), qBlue(v)};
}

} // namespace stowmere::progress::colors
