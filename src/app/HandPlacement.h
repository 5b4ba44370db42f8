// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QPointer>
#include <QRect>
#include <QWidget>

#include <utility>
#include <vector>

namespace stowmere::app {

/// The controls a window places by hand rather than through a layout, each with its place
/// as a left-to-right reader sees it. A right-to-left window shows them mirrored within
/// their parents, as a layout would: what comes first in reading order is on the right.
class HandPlacement {
public:
    /// Places control at its left-to-right geometry and keeps that geometry for later.
    void place(QWidget* control, const QRect& logical);
    /// Moves a placed control's left-to-right left edge, keeping its size.
    void moveLeft(QWidget* control, int logicalLeft);
    /// A placed control's left-to-right geometry; its present one when it was not placed here.
    QRect logical(const QWidget* control) const;
    /// Shows every placed control at its place, in its parent's present width and direction.
    void apply() const;

private:
    std::vector<std::pair<QPointer<QWidget>, QRect>> m_places;
};

} // namespace stowmere::app
