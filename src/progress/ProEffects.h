// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "progress/CylColors.h"
#include "progress/CylTypes.h"
#include "progress/CylinderColorStyle.h"

#include <optional>

namespace stowmere::progress {

/// The values one named look assigns to a cylinder bar. All presets share this
/// shape; the bar applies them in one routine (CylinderProgressBar::setProEffect).
struct EffectPreset {
    /// Frame and text switch, set only by the three demonstration presets.
    struct Frame {
        BevelCut bevelOuter;
        BevelCut bevelInner;
        int borderWidth;
        bool showText;
    };

    CylinderEffect cylinderEffect;
    FontEffect fontEffect;
    std::optional<stowmere::controls::Color> fontShadowColor; ///< none: left as it was
    stowmere::controls::Color foreColor;
    stowmere::controls::Color backColor;
    stowmere::controls::Color foreLineColor;
    CylinderStyleValues backStyle;
    CylinderStyleValues foreStyle;
    std::optional<Frame> frame;
};

namespace effects {

/// The preset behind a value, or nullptr for ProEffect::Custom (and values out of range).
const EffectPreset* preset(ProEffect effect);

/// Lighting style sets S1 .. S12 shared by the presets (index 1 .. 12).
const CylinderStyleValues& styleSet(int number);

} // namespace effects

} // namespace stowmere::progress
