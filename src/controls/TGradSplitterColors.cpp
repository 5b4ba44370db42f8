// SPDX-License-Identifier: GPL-3.0-or-later
#include "controls/TGradSplitterColors.h"

namespace stowmere::controls {

TGradSplitterColors::TGradSplitterColors()
{
    m_defaultFrom = clBtnFace;
    m_defaultTo = clBtnFace;
    m_overFrom = TColor::rgb(255, 255, 255);
    m_overTo = TColor::rgb(118, 148, 190);
}

} // namespace stowmere::controls
