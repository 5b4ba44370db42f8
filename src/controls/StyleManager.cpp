// SPDX-License-Identifier: GPL-3.0-or-later
#include "controls/StyleManager.h"

#include "controls/GradientControl.h"

#include <algorithm>

namespace stowmere::controls {

StyleManager::StyleManager(QObject* parent) : QObject(parent) {}

StyleManager::~StyleManager()
{
    // Linked controls get the removal notice and drop their link; while this runs
    // they must not reach back into the list being torn down.
    m_destroying = true;
    const std::vector<GradientControl*> controls = m_controls;
    for (GradientControl* control : controls)
        control->styleManagerRemoved(this);
    m_controls.clear();
}

void StyleManager::copySettings(const StyleManager& source)
{
    const StyleManager* manager = &source;
    m_colors = manager->m_colors;
    m_splitterColors = manager->m_splitterColors;
    m_showFocusRect = manager->m_showFocusRect;
    m_hotTrack = manager->m_hotTrack;
    m_gradientBorder = manager->m_gradientBorder;
    m_checkColor = manager->m_checkColor;
    m_font = manager->m_font;
    m_fadeSpeed = manager->m_fadeSpeed;
    m_panelColor = manager->m_panelColor;
    m_borderColor = manager->m_borderColor;
    m_textShadow = manager->m_textShadow;
}

void StyleManager::addControl(GradientControl* control)
{
    if (control != nullptr && std::find(m_controls.begin(), m_controls.end(), control) == m_controls.end())
        m_controls.push_back(control);
}

void StyleManager::removeControl(GradientControl* control)
{
    std::erase(m_controls, control);
}

} // namespace stowmere::controls
