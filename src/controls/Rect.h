// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QRect>

namespace stowmere::controls {

/// A rectangle as the drawing routines take it: Right and Bottom are exclusive.
struct Rect {
    int Left = 0;
    int Top = 0;
    int Right = 0;
    int Bottom = 0;

    constexpr int Width() const { return Right - Left; }
    constexpr int Height() const { return Bottom - Top; }
    constexpr bool IsEmpty() const { return Right <= Left || Bottom <= Top; }
    constexpr Rect Inflated(int dx, int dy) const { return {Left - dx, Top - dy, Right + dx, Bottom + dy}; }
    constexpr Rect Offset(int dx, int dy) const { return {Left + dx, Top + dy, Right + dx, Bottom + dy}; }
    constexpr Rect Intersected(const Rect& other) const
    {
        return {Left > other.Left ? Left : other.Left, Top > other.Top ? Top : other.Top,
                Right < other.Right ? Right : other.Right, Bottom < other.Bottom ? Bottom : other.Bottom};
    }
    QRect ToQRect() const { return QRect(Left, Top, Width(), Height()); }
    static Rect FromQRect(const QRect& rect)
    {
        return {rect.left(), rect.top(), rect.left() + rect.width(), rect.top() + rect.height()};
    }
    friend constexpr bool operator==(const Rect&, const Rect&) = default;
};

} // namespace stowmere::controls
