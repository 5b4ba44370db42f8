// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

class QWidget;

namespace stowmere::placement {

/// Where a window places itself when it is shown.
enum class WindowPosition {
    poDesigned,        // where its constructor put it
    poDefault,         // position and size left to the window system
    poDefaultPosOnly,  // position left to the window system
    poDefaultSizeOnly, // size left to the window system
    poScreenCenter,    // centred on the primary screen
    poDesktopCenter,   // centred on the whole desktop
    poMainFormCenter,  // centred over the application's main window
    poOwnerFormCenter, // centred over its parent window
};

/// The window's position rule; poDesigned when none was set.
WindowPosition formPosition(const QWidget& window);
/// Sets the rule; nothing moves until the window is shown.
void setFormPosition(QWidget& window, WindowPosition position);
/// Places the window by its rule (done when it is shown). The rule stays in force, so a
/// window that is hidden and shown again is centred again.
void applyFormPosition(QWidget& window);

} // namespace stowmere::placement
