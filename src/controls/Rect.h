// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QRect>

namespace stowmere::controls {

/// A rectangle as the drawing routines take it: right and bottom are exclusive.
struct Rect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;

    constexpr int width() const { return right - left; }
    constexpr int height() const { return bottom - top; }
    constexpr bool isEmpty() const { return right <= left || bottom <= top; }
    constexpr Rect inflated(int dx, int dy) const { return {left - dx, top - dy, right + dx, bottom + dy}; }
    constexpr Rect offset(int dx, int dy) const { return {left + dx, top + dy, right + dx, bottom + dy}; }
    constexpr Rect intersected(const Rect& other) const
    {
        return {left > other.left ? left : other.left, top > other.top ? top : other.top,
                right < other.right ? right : other.right, bottom < other.bottom ? bottom : other.bottom};
    }
    QRect toQRect() const { return QRect(left, top, width(), height()); }
    static Rect fromQRect(const QRect& rect)
    {
        return {rect.left(), rect.top(), rect.left() + rect.width(), rect.top() + rect.height()};
    }
    friend constexpr bool operator==(const Rect&, const Rect&) = default;
};

} // namespace stowmere::controls
