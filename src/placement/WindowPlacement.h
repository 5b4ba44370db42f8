// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>

class QWidget;

namespace stowmere::placement {

// Show commands as stored in "ShowCmd".
inline constexpr int kSwHide = 0;
inline constexpr int kSwShowNormal = 1;
inline constexpr int kSwShowMinimized = 2;
inline constexpr int kSwShowMaximized = 3;
inline constexpr int kSwShowNoActivate = 4;
inline constexpr int kSwShow = 5;
inline constexpr int kSwMinimize = 6;
inline constexpr int kSwShowMinNoActive = 7;
inline constexpr int kSwShowNa = 8;
inline constexpr int kSwRestore = 9;

// Placement flags as stored in "Flags".
inline constexpr int kWpfSetMinPosition = 0x1;
inline constexpr int kWpfRestoreToMaximized = 0x2;

/// A rectangle by its edges; right and bottom lie just outside it (right = left + width).
struct PlacementRect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;

    static PlacementRect fromQRect(const QRect& rect);
    QRect toQRect() const;
    bool operator==(const PlacementRect&) const = default;
};

/// A window's placement record: the state it shows in, where it goes when minimised and
/// maximised, and its normal (restored) rectangle, which is the client area in desktop
/// coordinates. Qt has no minimised or maximised positions; they are kept on the window
/// so that a restore followed by a save gives back what was read.
struct WindowPlacement {
    int flags = 0;
    int showCmd = kSwHide;
    QPoint minPosition{-1, -1};
    QPoint maxPosition{-1, -1};
    PlacementRect normalPosition;
};

/// The window's current placement. showCmd is 2 when minimised, 3 when maximised, else 1;
/// flags has kWpfRestoreToMaximized when it is minimised from the maximised state.
WindowPlacement windowPlacement(const QWidget& window);

/// Applies a placement without showing, hiding or changing the window's state: the normal
/// rectangle becomes the window's normal geometry (kept on a screen), and when the window
/// is minimised kWpfRestoreToMaximized decides whether it restores maximised. showCmd is
/// not applied: states are set through QWidget::setWindowState.
void setWindowPlacement(QWidget& window, const WindowPlacement& placement);

/// A rectangle moved, without resizing, onto the primary screen's work area when no part
/// of it lies on any screen, as after a monitor was removed.
QRect keptOnScreen(const QRect& rect);

enum class BorderStyle { None, Single, Sizeable, Dialog, ToolWindow, SizeToolWin };

/// The border a window has, derived from its flags and size limits.
BorderStyle formBorderStyle(const QWidget& window);
/// True for BorderStyle::Sizeable and BorderStyle::SizeToolWin.
bool hasSizeableBorder(const QWidget& window);
/// Thickness of the window frame beside and below the client area; 0,0 without border.
QSize frameMetrics(const QWidget& window);

/// The application's main window: the window whose show state stands for the whole
/// application. Unset, every window counts as the main window.
QWidget* applicationMainWindow();
void setApplicationMainWindow(QWidget* window);
bool isApplicationMainWindow(const QWidget& window);

} // namespace stowmere::placement
