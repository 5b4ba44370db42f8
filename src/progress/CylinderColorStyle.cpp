// SPDX-License-Identifier: GPL-3.0-or-later
#include "progress/CylinderColorStyle.h"

#include "progress/CylinderProgressBar.h"

namespace stowmere::progress {

CylinderColorStyle::CylinderColorStyle(CylinderProgressBar* owner) : m_owner(owner) {}

void CylinderColorStyle::changed()
{
    if (m_owner)
        m_owner->styleChanged();
}

void CylinderColorStyle::setIntensityRGB(std::int32_t value)
{
    if (value == m_values.IntensityRGB)
        return;
    m_values.IntensityRGB = value;
    changed();
}

void CylinderColorStyle::setIntensity(float value)
{
    if (value == m_values.Intensity || value == 0.0f)
        return;
    m_values.Intensity = value;
    changed();
}

void CylinderColorStyle::setIntensityFactor(float value)
{
    if (value == m_values.IntensityFactor)
        return;
    m_values.IntensityFactor = value;
    changed();
}

void CylinderColorStyle::setRangeRGB(std::int32_t value)
{
    if (value == m_values.RangeRGB || value == 0)
        return;
    m_values.RangeRGB = value;
    changed();
}

void CylinderColorStyle::setColorRGB(std::int32_t value)
{
    if (value == m_values.ColorRGB)
        return;
    m_values.ColorRGB = value;
    changed();
}

void CylinderColorStyle::setColorFactor(float value)
{
    if (value == m_values.ColorFactor)
        return;
    m_values.ColorFactor = value;
    changed();
}

void CylinderColorStyle::setLightAngle(float value)
{
    if (value == m_values.LightAngle || value == 0.0f)
        return;
    m_values.LightAngle = value;
    changed();
}

void CylinderColorStyle::assign(const CylinderStyleValues& values)
{
    setIntensityRGB(values.IntensityRGB);
    setIntensity(values.Intensity);
    setIntensityFactor(values.IntensityFactor);
    setRangeRGB(values.RangeRGB);
    setColorRGB(values.ColorRGB);
    setColorFactor(values.ColorFactor);
    setLightAngle(values.LightAngle);
}

} // namespace stowmere::progress
