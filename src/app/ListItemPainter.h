// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QFontMetrics>
#include <QRect>
#include <QString>

class QPainter;

namespace stowmere::app {

/// The one item painting both lists of the main window share: a selected item is a rounded
/// band with a pale-to-golden gradient inside a grey frame; every text is black, shortened
/// in the middle when it is too long for the item.
class ListItemPainter {
public:
    /// Paints one item over rect (the area right of any check strip). The painter's brush
    /// is the list's prepared background (white for an unselected item).
    static void drawItem(QPainter& painter, const QRect& rect, const QString& text, bool selected);

    /// The text as it fits width: unchanged when it fits; otherwise the start of the path
    /// and its last component with "..." between them; when even that does not fit, the
    /// last component cut at its end with "...".
    static QString pathEllipsis(const QFontMetrics& metrics, const QString& text, int width);
};

} // namespace stowmere::app
