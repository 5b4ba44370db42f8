// SPDX-License-Identifier: GPL-3.0-or-later
#include "controls/GradCustomColors.h"

void TGradCustomColors::Assign(const TPersistent& source)
{
    const auto* colors = dynamic_cast<const TGradCustomColors*>(&source);
    if (colors == nullptr) {
        TPersistent::Assign(source);
        return;
    }
    m_defaultFrom = colors->m_defaultFrom;
    m_defaultTo = colors->m_defaultTo;
    m_overFrom = colors->m_overFrom;
    m_overTo = colors->m_overTo;
}

void TGradCustomColors::Store(TColor& field, TColor value, bool rebuild)
{
    if (field == value)
        return;
    field = value;
    Changed(rebuild);
}

void TGradCustomColors::Changed(bool) {}
