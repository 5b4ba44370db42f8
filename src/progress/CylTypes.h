// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

namespace stowmere::progress {

// Enumerations of the cylinder progress bar. The member names carry the short
// lower-case prefix of their type and are kept unscoped so they read like the
// property values they are (`ceMaximum`, `peCustom`).

enum CylinderEffect { ceFlat, ceUltraLow, ceLow, ceMedium, ceHigh, ceMaximum };

enum FontEffect { feNone, feInvert, feShadowTopLeft, feShadowBottomRight };

enum FontOrientation { foLeftToRight, foTopToBottom, foBottomToTop };

enum BarOrientation { pbHorizontal, pbVertical };

enum BevelCut { bvNone, bvLowered, bvRaised, bvSpace };

enum ProEffect {
    demoSystem,
    demoMetal,
    demoSunken,
    peCustom,
    peGlassRed,
    peGlassOrange,
    peGlassYellow,
    peGlassGreen,
    peGlassCyan,
    peGlassBlue,
    peGlassViolet,
    peGlassPurple,
    peSystem1,
    peSystem2,
    peSystem3,
    peSystem4,
    peSystem5,
    peSystem6,
    peSystem7,
    peSystem8,
    peUpLoad1,
    peUpLoad2,
    peMetalRed,
    peMetalOrange,
    peMetalYellow,
    peMetalCyan,
    peMetalGreen,
    peMetalLightBlue,
    peMetalBlue,
    peMetalViolet,
    peMetalDarkGray,
    peMetalGold,
    peStdRed,
    peStdYellow,
    peStdGreen,
    peStdBlue,
};

constexpr int ProEffectCount = peStdBlue + 1;

} // namespace stowmere::progress
