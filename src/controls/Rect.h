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

    constexpr int width() const { return Right - Left; }
    constexpr int height() const { return Bottom - Top; }
    constexpr bool isEmpty() const { return Right <= Left || Bottom <= Top; }
    constexpr Rect inflated(int dx, int dy) const { return {Left - dx, Top - dy, Right + dx, Bottom + dy}; }
    constexpr Rect offset(int dx, int dy) const { return {Left + dx, Top + dy, Right + dx, Bottom + dy}; }
    constexpr Rect intersected(const Rect& other) const
    {
        return {Left > other.Left ? Left : other.Left, Top > other.Top ? Top : other.Top,
                Right < other.Right ? Right : other.Right, Bottom < other.Bottom ? Bottom : other.Bottom};
    }
    QRect toQRect() const { return QRect(Left, Top, width(), height()); }
    static Rect fromQRect(const QRect& rect)
    {
        return {rect.left(), rect.top(), rect.left() + rect.width(), rect.top() + rect.height()};
    }
    friend constexpr bool operator==(const Rect&, const Rect&) = default;
};

} // namespace stowmere::controls
