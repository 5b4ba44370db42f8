// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

namespace stowmere::progress {

/// The pictures shipped with the progress display as Qt resources.
namespace resources {

/// Registers the resources; a static library's resources are otherwise dropped by
/// the linker. Safe to call more than once.
void init();

/// The spinning busy picture (animated GIF).
inline QString busyPicture()
{
    return QStringLiteral(":/progress/busy.gif");
}
/// The Cancel button's stop-sign picture (PNG, 32 x 32).
inline QString cancelGlyph()
{
    return QStringLiteral(":/progress/cancel.png");
}

} // namespace resources

} // namespace stowmere::progress
