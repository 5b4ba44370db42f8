// SPDX-License-Identifier: GPL-3.0-or-later
#include "controls/ControlColors.h"

namespace stowmere::controls {

bool ControlColors::imagesDiffer(const ControlColors& other) const
{
    return static_cast<const GradientColors&>(*this) != static_cast<const GradientColors&>(other) ||
           m_clickedFrom != other.m_clickedFrom || m_clickedTo != other.m_clickedTo ||
           m_borderColor != other.m_borderColor;
}

} // namespace stowmere::controls
