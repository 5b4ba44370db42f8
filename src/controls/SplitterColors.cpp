// SPDX-License-Identifier: GPL-3.0-or-later
#include "controls/SplitterColors.h"

namespace stowmere::controls {

SplitterColors::SplitterColors()
{
    m_defaultFrom = colors::ButtonFace;
    m_defaultTo = colors::ButtonFace;
    m_overFrom = Color::rgb(255, 255, 255);
    m_overTo = Color::rgb(118, 148, 190);
}

} // namespace stowmere::controls
