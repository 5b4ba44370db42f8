// SPDX-License-Identifier: GPL-3.0-or-later
#include "controls/TGradControlColors.h"

namespace stowmere::controls {

bool TGradControlColors::ImagesDiffer(const TGradControlColors& other) const
{
    return static_cast<const TGradCustomColors&>(*this) != static_cast<const TGradCustomColors&>(other) ||
           m_clickedFrom != other.m_clickedFrom || m_clickedTo != other.m_clickedTo ||
           m_borderColor != other.m_borderColor;
}

} // namespace stowmere::controls
