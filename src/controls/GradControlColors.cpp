// SPDX-License-Identifier: GPL-3.0-or-later
#include "controls/GradControlColors.h"

#include "controls/GradCustomControl.h"

TGradControlColors::TGradControlColors(TGradCustomControl* owner) : m_owner(owner) {}

void TGradControlColors::Assign(const TPersistent& source)
{
    TGradCustomColors::Assign(source);
    if (const auto* colors = dynamic_cast<const TGradControlColors*>(&source)) {
        m_clickedFrom = colors->m_clickedFrom;
        m_clickedTo = colors->m_clickedTo;
        m_hotTrack = colors->m_hotTrack;
        m_borderColor = colors->m_borderColor;
        m_textShadow = colors->m_textShadow;
    }
}

void TGradControlColors::Changed(bool rebuild)
{
    if (m_owner == nullptr)
        return;
    if (rebuild)
        m_owner->RebuildImages();
    else
        m_owner->update();
}
