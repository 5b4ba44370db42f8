// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// The program's fixed texts that more than one window shows.
namespace stowmere::app::texts {

inline QString applicationTitle()
{
    return QStringLiteral("Orvane Stowmere");
}
inline QString mainCaption()
{
    return QStringLiteral("Orvane Office - Stowmere");
}
inline QString webAddress()
{
    return QStringLiteral("https://github.com/stowmere/stowmere");
}
inline QString webCaption()
{
    return QStringLiteral("github.com/stowmere");
}

} // namespace stowmere::app::texts
