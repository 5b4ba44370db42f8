// SPDX-License-Identifier: GPL-3.0-or-later
#include "progress/ProEffects.h"

#include <array>

using stowmere::controls::Color;

namespace stowmere::progress::effects {

namespace {

using colors::rgb;
using colors::system;

// intensityRGB, Intensity, intensityFactor, rangeRGB, colorRGB, colorFactor, lightAngle.
constexpr std::array<CylinderStyleValues, 13> Styles{{
    {},
    {255, 4.0f, -1.0f, 255, 255, -1.0f, -3.0f},    // S1, the default
    {-100, 4.0f, -1.7f, -100, -100, -1.0f, -1.6f}, // S2
    {255, 2.0f, -1.0f, 153, 0, 1.0f, -3.0f},       // S3
    {255, 4.0f, -1.0f, 255, 255, 1.0f, -3.0f},     // S4
    {255, 3.0f, -0.8f, 255, 200, 1.0f, -3.0f},     // S5
    {-100, 4.0f, -1.7f, -100, -100, -1.0f, -1.5f}, // S6
    {-50, 8.0f, -1.5f, -150, -80, -1.0f, -1.5f},   // S7
    {255, 4.0f, -1.5f, 153, 0, 1.0f, -3.0f},       // S8
    {200, 4.0f, -0.5f, 200, 200, -1.2f, -3.0f},    // S9
    {255, 4.0f, -1.5f, 153, 0, 1.0f, -3.2f},       // S10
    {-100, 4.0f, -1.5f, -80, -100, -1.0f, -1.5f},  // S11
    {-100, 4.0f, -1.5f, -80, -100, -1.5f, -1.5f},  // S12
}};

constexpr std::optional<Color> Kept = std::nullopt;

EffectPreset make(CylinderEffect ce, FontEffect fe, std::optional<Color> shadow, Color fore, Color back,
                  Color foreLine, int backStyle, int foreStyle,
                  std::optional<EffectPreset::Frame> frame = std::nullopt)
{
    return {ce, fe, shadow, fore, back, foreLine, Styles[backStyle], Styles[foreStyle], frame};
}

const std::array<EffectPreset, ProEffectCount>& table()
{
    static const std::array<EffectPreset, ProEffectCount> presets{{
        // ProEffect::DemoSystem, ProEffect::DemoMetal, ProEffect::DemoSunken
        make(CylinderEffect::Maximum, FontEffect::ShadowBottomRight, system(15), system(15),
             rgb(255, 255, 255), system(13), 1, 1,
             EffectPreset::Frame{BevelCut::Lowered, BevelCut::Raised, 2, true}),
        make(CylinderEffect::Maximum, FontEffect::ShadowBottomRight, rgb(255, 255, 255), rgb(127, 212, 255),
             rgb(255, 255, 255), rgb(0, 0, 0), 2, 2,
             EffectPreset::Frame{BevelCut::None, BevelCut::Lowered, 2, false}),
        make(CylinderEffect::Maximum, FontEffect::Invert, rgb(0, 0, 0), rgb(255, 255, 255), rgb(128, 0, 0),
             rgb(255, 0, 0), 3, 1, EffectPreset::Frame{BevelCut::None, BevelCut::Raised, 2, true}),
        // ProEffect::Custom: never applied, its slot keeps the table indexed by value.
        make(CylinderEffect::Maximum, FontEffect::None, Kept, Color(), Color(), Color(), 1, 1),
        // Glass
        make(CylinderEffect::Maximum, FontEffect::None, Kept, rgb(204, 0, 0), rgb(128, 128, 128),
             rgb(255, 255, 255), 4, 5),
        make(CylinderEffect::Maximum, FontEffect::None, Kept, rgb(255, 128, 0), rgb(192, 192, 192),
             rgb(128, 0, 0), 4, 4),
        make(CylinderEffect::Maximum, FontEffect::None, Kept, rgb(206, 206, 0), rgb(192, 192, 192),
             rgb(0, 0, 0), 4, 5),
        make(CylinderEffect::Maximum, FontEffect::None, Kept, rgb(0, 128, 0), rgb(128, 128, 128),
             rgb(255, 255, 255), 4, 4),
        make(CylinderEffect::Maximum, FontEffect::None, Kept, rgb(0, 128, 128), rgb(192, 192, 192),
             rgb(255, 255, 0), 4, 4),
        make(CylinderEffect::Maximum, FontEffect::None, Kept, rgb(0, 107, 215), rgb(128, 128, 128),
             rgb(255, 255, 255), 4, 5),
        make(CylinderEffect::Maximum, FontEffect::None, Kept, rgb(102, 102, 179), rgb(192, 192, 192),
             rgb(0, 0, 0), 4, 4),
        make(CylinderEffect::Maximum, FontEffect::None, Kept, rgb(128, 0, 128), rgb(128, 128, 128),
             rgb(255, 255, 255), 4, 4),
        // System colours
        make(CylinderEffect::Maximum, FontEffect::ShadowBottomRight, system(15), system(15), system(5),
             system(13), 1, 1),
        make(CylinderEffect::Maximum, FontEffect::ShadowBottomRight, system(15), system(15), system(5),
             system(13), 6, 7),
        make(CylinderEffect::Maximum, FontEffect::ShadowBottomRight, system(15), system(16), system(15),
             system(5), 1, 1),
        make(CylinderEffect::Maximum, FontEffect::ShadowBottomRight, system(15), system(16), system(15),
             system(5), 6, 6),
        make(CylinderEffect::Maximum, FontEffect::Invert, Kept, system(5), system(13), system(13), 3, 1),
        make(CylinderEffect::Maximum, FontEffect::Invert, Kept, system(5), system(13), system(13), 8, 6),
        make(CylinderEffect::Maximum, FontEffect::Invert, Kept, system(13), system(16), system(5), 3, 9),
        make(CylinderEffect::Maximum, FontEffect::Invert, Kept, system(13), system(16), system(15), 10, 11),
        // Upload
        make(CylinderEffect::High, FontEffect::Invert, Kept, rgb(185, 0, 0), system(5), rgb(0, 0, 0), 1, 3),
        make(CylinderEffect::High, FontEffect::Invert, Kept, system(16), system(15), rgb(0, 0, 0), 12, 10),
        // Metal
        make(CylinderEffect::Maximum, FontEffect::ShadowBottomRight, system(15), rgb(255, 0, 0),
             rgb(255, 255, 255), rgb(0, 0, 0), 6, 6),
        make(CylinderEffect::Maximum, FontEffect::ShadowBottomRight, system(15), rgb(255, 150, 0),
             rgb(255, 255, 255), rgb(0, 0, 0), 6, 6),
        make(CylinderEffect::Maximum, FontEffect::ShadowBottomRight, system(15), rgb(255, 255, 0),
             rgb(255, 255, 255), rgb(0, 0, 0), 6, 6),
        make(CylinderEffect::Maximum, FontEffect::ShadowBottomRight, system(15), rgb(0, 255, 255),
             rgb(255, 255, 255), rgb(0, 0, 0), 6, 6),
        make(CylinderEffect::Maximum, FontEffect::ShadowBottomRight, system(15), rgb(0, 255, 64),
             rgb(255, 255, 255), rgb(0, 0, 0), 6, 6),
        make(CylinderEffect::Maximum, FontEffect::ShadowBottomRight, system(15), rgb(127, 212, 255),
             rgb(255, 255, 255), rgb(0, 0, 0), 6, 6),
        make(CylinderEffect::Maximum, FontEffect::ShadowBottomRight, system(15), rgb(0, 155, 230),
             rgb(255, 255, 255), rgb(0, 0, 0), 6, 6),
        make(CylinderEffect::Maximum, FontEffect::ShadowBottomRight, system(15), rgb(155, 155, 206),
             rgb(255, 255, 255), rgb(0, 0, 0), 6, 6),
        make(CylinderEffect::Maximum, FontEffect::ShadowBottomRight, system(15), rgb(137, 139, 152),
             rgb(255, 255, 255), rgb(0, 0, 0), 6, 6),
        make(CylinderEffect::Maximum, FontEffect::ShadowBottomRight, system(15), rgb(255, 204, 129),
             rgb(255, 255, 255), rgb(0, 0, 0), 6, 6),
        // Standard
        make(CylinderEffect::Maximum, FontEffect::Invert, Kept, rgb(204, 0, 0), rgb(102, 0, 0),
             rgb(255, 255, 255), 3, 1),
        make(CylinderEffect::Maximum, FontEffect::Invert, Kept, rgb(255, 255, 0), rgb(153, 153, 0),
             rgb(255, 255, 255), 3, 1),
        make(CylinderEffect::Maximum, FontEffect::Invert, Kept, rgb(0, 255, 51), rgb(0, 128, 64),
             rgb(255, 255, 255), 3, 1),
        make(CylinderEffect::Maximum, FontEffect::Invert, Kept, rgb(0, 107, 215), rgb(29, 48, 99),
             rgb(255, 255, 255), 3, 1),
    }};
    return presets;
}

} // namespace

const EffectPreset* preset(ProEffect effect)
{
    const int index = static_cast<int>(effect);
    if (effect == ProEffect::Custom || index < 0 || index >= ProEffectCount)
        return nullptr;
    return &table()[static_cast<std::size_t>(index)];
}

const CylinderStyleValues& styleSet(int number)
{
    if (number < 1 || number > 12)
        return Styles[1];
    return Styles[static_cast<std::size_t>(number)];
}

} // namespace stowmere::progress::effects
