// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QColor>

#include <cstdint>

namespace stowmere::controls {

/// A colour of the controls: plain red, green and blue, or one of the desktop's system
/// colours, resolved against the application palette when it is drawn. Built only through
/// the named constructors, so a colour always reads as the colour it is.
class Color {
public:
    /// Black.
    constexpr Color() = default;

    static constexpr Color rgb(int red, int green, int blue)
    {
        return Color(
            static_cast<std::uint32_t>((red & 0xFF) | ((green & 0xFF) << 8) | ((blue & 0xFF) << 16)));
    }
    /// System colour index (5 window, 8 window text, 13 highlight, 15 button face, ...).
    static constexpr Color system(int index)
    {
        return Color(kSystemFlag | static_cast<std::uint32_t>(index & 0xFF));
    }
    /// The form files' 32-bit colour value: 0x00BBGGRR, or 0x80000000 plus a system index.
    static constexpr Color fromStored(std::uint32_t value) { return Color(value); }

    constexpr std::uint32_t stored() const { return m_value; }
    constexpr bool isSystem() const { return (m_value & kSystemFlag) != 0; }
    constexpr int systemIndex() const { return static_cast<int>(m_value & 0xFF); }
    /// The components of a plain colour; resolve a system colour first (resolvedRgb).
    constexpr int red() const { return static_cast<int>(m_value & 0xFF); }
    constexpr int green() const { return static_cast<int>((m_value >> 8) & 0xFF); }
    constexpr int blue() const { return static_cast<int>((m_value >> 16) & 0xFF); }

    friend constexpr bool operator==(Color, Color) = default;

private:
    static constexpr std::uint32_t kSystemFlag = 0x80000000u;
    constexpr explicit Color(std::uint32_t value) : m_value(value) {}

    std::uint32_t m_value = 0;
};

/// The desktop's system colours the controls use, and the plain colours they name.
namespace colors {

inline constexpr Color Window = Color::system(5);
inline constexpr Color WindowText = Color::system(8);
inline constexpr Color Highlight = Color::system(13);
inline constexpr Color HighlightText = Color::system(14);
inline constexpr Color ButtonFace = Color::system(15);
inline constexpr Color ButtonShadow = Color::system(16);
inline constexpr Color ButtonText = Color::system(18);
inline constexpr Color ButtonHighlight = Color::system(20);
inline constexpr Color DarkShadow3D = Color::system(21);
inline constexpr Color Light3D = Color::system(22);

inline constexpr Color Black = Color::rgb(0, 0, 0);
inline constexpr Color White = Color::rgb(255, 255, 255);
inline constexpr Color Gray = Color::rgb(128, 128, 128);
inline constexpr Color Silver = Color::rgb(192, 192, 192);

} // namespace colors

/// Plain RGB for any colour: system colours are looked up in the application palette
/// (the platform's stand-in for the system colour table).
Color resolvedRgb(Color color);

QColor toQColor(Color color);
Color fromQColor(const QColor& color);

} // namespace stowmere::controls
