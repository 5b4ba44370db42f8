// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>

namespace stowmere::progress {

class CylinderProgressBar;

/// The seven numbers of a lighting style, as a plain value (used by the presets).
struct CylinderStyleValues {
    std::int32_t IntensityRGB = 255;
    float Intensity = 4.0f;
    float IntensityFactor = -1.0f;
    std::int32_t RangeRGB = 255;
    std::int32_t ColorRGB = 255;
    float ColorFactor = -1.0f;
    float LightAngle = -3.0f;

    friend bool operator==(const CylinderStyleValues&, const CylinderStyleValues&) = default;
};

/// How one part of a cylinder bar is lit. Owned by its bar: every accepted change
/// tells the owner, which marks its look as custom (unless a preset is being
/// applied) and re-derives its colours.
class CylinderColorStyle {
public:
    explicit CylinderColorStyle(CylinderProgressBar* owner);
    CylinderColorStyle(const CylinderColorStyle&) = delete;
    CylinderColorStyle& operator=(const CylinderColorStyle&) = delete;

    std::int32_t intensityRGB() const { return m_values.IntensityRGB; }
    float intensity() const { return m_values.Intensity; }
    float intensityFactor() const { return m_values.IntensityFactor; }
    std::int32_t rangeRGB() const { return m_values.RangeRGB; }
    std::int32_t colorRGB() const { return m_values.ColorRGB; }
    float colorFactor() const { return m_values.ColorFactor; }
    float lightAngle() const { return m_values.LightAngle; }

    void setIntensityRGB(std::int32_t value);
    // Intensity, rangeRGB and lightAngle are divisors: zero is refused.
    void setIntensity(float value);
    void setIntensityFactor(float value);
    void setRangeRGB(std::int32_t value);
    void setColorRGB(std::int32_t value);
    void setColorFactor(float value);
    void setLightAngle(float value);

    /// Copies the seven values one by one through the setters, in declaration order.
    void assign(const CylinderStyleValues& values);
    void assign(const CylinderColorStyle& other) { assign(other.values()); }

    const CylinderStyleValues& values() const { return m_values; }

private:
    void changed();

    CylinderProgressBar* m_owner;
    CylinderStyleValues m_values;
};

} // namespace stowmere::progress
