// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Enumerations of the cylinder progress bar. The member names carry the short
// lower-case prefix of their type and are kept unscoped so they read like the
// property values they are (`ceMaximum`, `peCustom`).

enum TCylinderEffect { ceFlat, ceUltraLow, ceLow, ceMedium, ceHigh, ceMaximum };

enum TFontEffect { feNone, feInvert, feShadowTopLeft, feShadowBottomRight };

enum TFontOrientation { foLeftToRight, foTopToBottom, foBottomToTop };

enum TProgressBarOrientation { pbHorizontal, pbVertical };

enum TBevelCut { bvNone, bvLowered, bvRaised, bvSpace };

enum TProEffect {
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
