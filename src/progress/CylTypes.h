// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

namespace stowmere::progress {

// Enumerations of the cylinder progress bar. The member names carry the short
// lower-case prefix of their type and are kept unscoped so they read like the
// property values they are (`CylinderEffect::Maximum`, `ProEffect::Custom`).

enum class CylinderEffect { Flat, UltraLow, Low, Medium, High, Maximum };

enum class FontEffect { None, Invert, ShadowTopLeft, ShadowBottomRight };

enum class FontOrientation { LeftToRight, TopToBottom, BottomToTop };

enum class BarOrientation { Horizontal, Vertical };

enum class BevelCut { None, Lowered, Raised, Space };

enum class ProEffect {
    DemoSystem,
    DemoMetal,
    DemoSunken,
    Custom,
    GlassRed,
    GlassOrange,
    GlassYellow,
    GlassGreen,
    GlassCyan,
    GlassBlue,
    GlassViolet,
    GlassPurple,
    System1,
    System2,
    System3,
    System4,
    System5,
    System6,
    System7,
    System8,
    UpLoad1,
    UpLoad2,
    MetalRed,
    MetalOrange,
    MetalYellow,
    MetalCyan,
    MetalGreen,
    MetalLightBlue,
    MetalBlue,
    MetalViolet,
    MetalDarkGray,
    MetalGold,
    StdRed,
    StdYellow,
    StdGreen,
    StdBlue,
};

constexpr int ProEffectCount = static_cast<int>(ProEffect::StdBlue) + 1;

} // namespace stowmere::progress
