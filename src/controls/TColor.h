// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QColor>

#include <cstdint>

/// A colour as the forms store it: RGB in 0x00BBGGRR order, or a system colour
/// (high bit set, low byte the system colour's index) resolved against the palette.
using TColor = std::uint32_t;

inline constexpr TColor clSystemColor = 0x80000000u;
inline constexpr TColor clWindow = clSystemColor | 5;
inline constexpr TColor clWindowText = clSystemColor | 8;
inline constexpr TColor clHighlight = clSystemColor | 13;
inline constexpr TColor clHighlightText = clSystemColor | 14;
inline constexpr TColor clBtnFace = clSystemColor | 15;
inline constexpr TColor clBtnShadow = clSystemColor | 16;
inline constexpr TColor clBtnText = clSystemColor | 18;
inline constexpr TColor clBtnHighlight = clSystemColor | 20;
inline constexpr TColor cl3DDkShadow = clSystemColor | 21;
inline constexpr TColor cl3DLight = clSystemColor | 22;

inline constexpr TColor clBlack = 0x000000;
inline constexpr TColor clWhite = 0xFFFFFF;
inline constexpr TColor clGray = 0x808080;
inline constexpr TColor clSilver = 0xC0C0C0;

constexpr TColor RGB(int red, int green, int blue)
{
    return static_cast<TColor>((red & 0xFF) | ((green & 0xFF) << 8) | ((blue & 0xFF) << 16));
}
constexpr int GetRValue(TColor color)
{
    return static_cast<int>(color & 0xFF);
}
constexpr int GetGValue(TColor color)
{
    return static_cast<int>((color >> 8) & 0xFF);
}
constexpr int GetBValue(TColor color)
{
    return static_cast<int>((color >> 16) & 0xFF);
}

/// Plain RGB for any colour: system colours are looked up in the application palette
/// (the platform's stand-in for the system colour table).
TColor ColorToRGB(TColor color);

QColor ToQColor(TColor color);
TColor FromQColor(const QColor& color);
