// SPDX-License-Identifier: GPL-3.0-or-later
#include "progress/PCColorStyle.h"

#include "progress/ProgressCyl.h"

TPCColorStyle::TPCColorStyle(TProgressCyl* owner) : m_owner(owner) {}

void TPCColorStyle::changed()
{
    if (m_owner)
        m_owner->styleChanged();
}

void TPCColorStyle::setIntensityRGB(std::int32_t value)
{
    if (value == m_values.IntensityRGB)
        return;
    m_values.IntensityRGB = value;
    changed();
}

void TPCColorStyle::setIntensity(float value)
{
    if (value == m_values.Intensity || value == 0.0f)
        return;
    m_values.Intensity = value;
    changed();
}

void TPCColorStyle::setIntensityFactor(float value)
{
    if (value == m_values.IntensityFactor)
        return;
    m_values.IntensityFactor = value;
    changed();
}

void TPCColorStyle::setRangeRGB(std::int32_t value)
{
    if (value == m_values.RangeRGB || value == 0)
        return;
    m_values.RangeRGB = value;
    changed();
}

void TPCColorStyle::setColorRGB(std::int32_t value)
{
    if (value == m_values.ColorRGB)
        return;
    m_values.ColorRGB = value;
    changed();
}

void TPCColorStyle::setColorFactor(float value)
{
    if (value == m_values.ColorFactor)
        return;
    m_values.ColorFactor = value;
    changed();
}

void TPCColorStyle::setLightAngle(float value)
{
    if (value == m_values.LightAngle || value == 0.0f)
        return;
    m_values.LightAngle = value;
    changed();
}

void TPCColorStyle::assign(const TPCStyleValues& values)
{
    setIntensityRGB(values.IntensityRGB);
    setIntensity(values.Intensity);
    setIntensityFactor(values.IntensityFactor);
    setRangeRGB(values.RangeRGB);
    setColorRGB(values.ColorRGB);
    setColorFactor(values.ColorFactor);
    setLightAngle(values.LightAngle);
}
