// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "progress/CylColors.h"
#include "progress/CylTypes.h"
#include "progress/PCColorStyle.h"

#include <optional>

/// The values one named look assigns to a cylinder bar. All presets share this
/// shape; the bar applies them in one routine (TProgressCyl::setProEffect).
struct TProEffectPreset {
    /// Frame and text switch, set only by the three demonstration presets.
    struct Frame {
        TBevelCut bevelOuter;
        TBevelCut bevelInner;
        int borderWidth;
        bool showText;
    };

    TCylinderEffect cylinderEffect;
    TFontEffect fontEffect;
    std::optional<stowmere::controls::TColor> fontShadowColor; ///< none: left as it was
    stowmere::controls::TColor foreColor;
    stowmere::controls::TColor backColor;
    stowmere::controls::TColor foreLineColor;
    TPCStyleValues backStyle;
    TPCStyleValues foreStyle;
    std::optional<Frame> frame;
};

namespace ProEffects {

/// The preset behind a value, or nullptr for peCustom (and values out of range).
const TProEffectPreset* preset(TProEffect effect);

/// Lighting style sets S1 .. S12 shared by the presets (index 1 .. 12).
const TPCStyleValues& styleSet(int number);

} // namespace ProEffects
