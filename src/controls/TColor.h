// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QColor>

#include <cstdint>

namespace stowmere::controls {

/// A colour of the controls: plain red, green and blue, or one of the desktop's system
/// colours, resolved against the application palette when it is drawn. Built only through
/// the named constructors, so a colour always reads as the colour it is.
class TColor {
public:
    /// Black.
    constexpr TColor() = default;

    static constexpr TColor rgb(int red, int green, int blue)
    {
        return TColor(
            static_cast<std::uint32_t>((red & 0xFF) | ((green & 0xFF) << 8) | ((blue & 0xFF) << 16)));
    }
    /// System colour index (5 window, 8 window text, 13 highlight, 15 button face, ...).
    static constexpr TColor system(int index)
    {
        return TColor(kSystemFlag | static_cast<std::uint32_t>(index & 0xFF));
    }
    /// The form files' 32-bit colour value: 0x00BBGGRR, or 0x80000000 plus a system index.
    static constexpr TColor fromStored(std::uint32_t value) { return TColor(value); }

    constexpr std::uint32_t stored() const { return m_value; }
    constexpr bool isSystem() const { return (m_value & kSystemFlag) != 0; }
    constexpr int systemIndex() const { return static_cast<int>(m_value & 0xFF); }
    /// The components of a plain colour; resolve a system colour first (ColorToRGB).
    constexpr int red() const { return static_cast<int>(m_value & 0xFF); }
    constexpr int green() const { return static_cast<int>((m_value >> 8) & 0xFF); }
    constexpr int blue() const { return static_cast<int>((m_value >> 16) & 0xFF); }

    friend constexpr bool operator==(TColor, TColor) = default;

private:
    static constexpr std::uint32_t kSystemFlag = 0x80000000u;
    constexpr explicit TColor(std::uint32_t value) : m_value(value) {}

    std::uint32_t m_value = 0;
};

inline constexpr TColor clWindow = TColor::system(5);
inline constexpr TColor clWindowText = TColor::system(8);
inline constexpr TColor clHighlight = TColor::system(13);
inline constexpr TColor clHighlightText = TColor::system(14);
inline constexpr TColor clBtnFace = TColor::system(15);
inline constexpr TColor clBtnShadow = TColor::system(16);
inline constexpr TColor clBtnText = TColor::system(18);
inline constexpr TColor clBtnHighlight = TColor::system(20);
inline constexpr TColor cl3DDkShadow = TColor::system(21);
inline constexpr TColor cl3DLight = TColor::system(22);

inline constexpr TColor clBlack = TColor::rgb(0, 0, 0);
inline constexpr TColor clWhite = TColor::rgb(255, 255, 255);
inline constexpr TColor clGray = TColor::rgb(128, 128, 128);
inline constexpr TColor clSilver = TColor::rgb(192, 192, 192);

constexpr TColor RGB(int red, int green, int blue)
{
    return TColor::rgb(red, green, blue);
}
constexpr int GetRValue(TColor color)
{
    return color.red();
}
constexpr int GetGValue(TColor color)
{
    return color.green();
}
constexpr int GetBValue(TColor color)
{
    return color.blue();
}

/// Plain RGB for any colour: system colours are looked up in the application palette
/// (the platform's stand-in for the system colour table).
TColor ColorToRGB(TColor color);

QColor ToQColor(TColor color);
TColor FromQColor(const QColor& color);

} // namespace stowmere::controls
