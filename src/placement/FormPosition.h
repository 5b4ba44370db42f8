// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

class QWidget;

namespace stowmere::placement {

/// Where a window places itself when it is shown.
enum class WindowPosition {
    Designed,        // where its constructor put it
    Default,         // position and size left to the window system
    DefaultPosOnly,  // position left to the window system
    DefaultSizeOnly, // size left to the window system
    ScreenCenter,    // centred on the primary screen
    DesktopCenter,   // centred on the whole desktop
    MainFormCenter,  // centred over the application's main window
    OwnerFormCenter, // centred over its parent window
};

/// The window's position rule; WindowPosition::Designed when none was set.
WindowPosition formPosition(const QWidget& window);
/// Sets the rule; nothing moves until the window is shown.
void setFormPosition(QWidget& window, WindowPosition position);
/// Places the window by its rule (done when it is shown). The rule stays in force, so a
/// window that is hidden and shown again is centred again.
void applyFormPosition(QWidget& window);

} // namespace stowmere::placement
