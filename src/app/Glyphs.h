// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QImage>

namespace stowmere::app {

/// The program's own button pictures, drawn with QPainter the first time they are asked
/// for. The four large buttons of the main window take 32 x 32 pictures, Save and Cancel
/// of the editor 16 x 16. Transparent where nothing is drawn.
class Glyphs {
public:
    static const QImage& addFolder();
    static const QImage& addFiles();
    static const QImage& deleteItems();
    static const QImage& backup();
    static const QImage& save();
    static const QImage& cancel();
    /// The window icon: the backup picture at 64 x 64.
    static const QImage& appIcon();
};

} // namespace stowmere::app
