// SPDX-License-Identifier: GPL-3.0-or-later
#include "controls/GradSplitterColors.h"

TGradSplitterColors::TGradSplitterColors()
{
    m_defaultFrom = clBtnFace;
    m_defaultTo = clBtnFace;
    m_overFrom = 0xFFFFFF;
    m_overTo = 0xBE9476;
}
