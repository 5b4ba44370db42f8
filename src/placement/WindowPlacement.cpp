// SPDX-License-Identifier: GPL-3.0-or-later
#include "placement/WindowPlacement.h"

#include <QGuiApplication>
#include <QPointer>
#include <QScreen>
#include <QVariant>
#include <QWidget>
#include <QWindow>

#include <algorithm>

namespace stowmere::placement {
namespace {

constexpr const char* kMinPositionProperty = "stowmere.minPosition";
constexpr const char* kMaxPositionProperty = "stowmere.maxPosition";

QPointer<QWidget>& mainWindowPointer()
{
    static QPointer<QWidget> window;
    return window;
}

QPoint pointProperty(const QWidget& window, const char* name)
{
    const QVariant value = window.property(name);
    return value.isValid() ? value.toPoint() : QPoint(-1, -1);
}

constexpr Qt::WindowStates kSpecialStates = Qt::WindowMinimized | Qt::WindowMaximized | Qt::WindowFullScreen;

QRect currentNormalGeometry(const QWidget& window)
{
    // While maximised or full screen, geometry() is the maximised rectangle; the one to
    // restore to is kept apart.
    if (window.isMaximized() || window.isFullScreen()) {
        const QRect normal = window.normalGeometry();
        if (normal.isValid())
            return normal;
    }
    return window.geometry();
}

} // namespace

PlacementRect PlacementRect::fromQRect(const QRect& rect)
{
    return {rect.left(), rect.top(), rect.left() + rect.width(), rect.top() + rect.height()};
}

QRect PlacementRect::toQRect() const
{
    return QRect(QPoint(left, top), QSize(right - left, bottom - top));
}

WindowPlacement windowPlacement(const QWidget& window)
{
    WindowPlacement placement;
    const Qt::WindowStates state = window.windowState();
    if (state & Qt::WindowMinimized) {
        placement.showCmd = kSwShowMinimized;
        if (state & Qt::WindowMaximized)
            placement.flags |= kWpfRestoreToMaximized;
    } else if (state & (Qt::WindowMaximized | Qt::WindowFullScreen)) {
        placement.showCmd = kSwShowMaximized;
    } else {
        placement.showCmd = kSwShowNormal;
    }
    placement.minPosition = pointProperty(window, kMinPositionProperty);
    placement.maxPosition = pointProperty(window, kMaxPositionProperty);
    placement.normalPosition = PlacementRect::fromQRect(currentNormalGeometry(window));
    return placement;
}

QRect keptOnScreen(const QRect& rect)
{
    const auto screens = QGuiApplication::screens();
    for (const QScreen* screen : screens) {
        if (screen->geometry().intersects(rect))
            return rect;
    }
    const QScreen* primary = QGuiApplication::primaryScreen();
    if (!primary)
        return rect;
    const QRect area = primary->availableGeometry();
    QRect moved = rect;
    moved.moveLeft(std::clamp(rect.left(), area.left(),
                              std::max(area.left(), area.left() + area.width() - rect.width())));
    moved.moveTop(
        std::clamp(rect.top(), area.top(), std::max(area.top(), area.top() + area.height() - rect.height())));
    return moved;
}

void setWindowPlacement(QWidget& window, const WindowPlacement& placement)
{
    window.setProperty(kMinPositionProperty, placement.minPosition);
    window.setProperty(kMaxPositionProperty, placement.maxPosition);

    const QRect wanted = keptOnScreen(placement.normalPosition.toQRect());
    const Qt::WindowStates state = window.windowState();
    if (wanted != currentNormalGeometry(window)) {
        if (state & kSpecialStates) {
            // Qt sets no restore rectangle directly: it records the geometry a window had
            // when it left the normal state, so pass through that state once.
            window.setWindowState(state & ~kSpecialStates);
            window.setGeometry(wanted);
            window.setWindowState(state);
        } else {
            window.setGeometry(wanted);
        }
    }

    if (state & Qt::WindowMinimized) {
        const bool toMaximized = placement.flags & kWpfRestoreToMaximized;
        if (toMaximized != bool(state & Qt::WindowMaximized))
            window.setWindowState(toMaximized ? state | Qt::WindowMaximized : state & ~Qt::WindowMaximized);
    }
}

BorderStyle formBorderStyle(const QWidget& window)
{
    const Qt::WindowFlags flags = window.windowFlags();
    if (flags & Qt::FramelessWindowHint)
        return BorderStyle::None;
    const bool fixedSize =
        (flags & Qt::MSWindowsFixedSizeDialogHint) || window.minimumSize() == window.maximumSize();
    const Qt::WindowType type = window.windowType();
    if (type == Qt::Tool)
        return fixedSize ? BorderStyle::ToolWindow : BorderStyle::SizeToolWin;
    if (!fixedSize)
        return BorderStyle::Sizeable;
    return type == Qt::Dialog ? BorderStyle::Dialog : BorderStyle::Single;
}

bool hasSizeableBorder(const QWidget& window)
{
    const BorderStyle style = formBorderStyle(window);
    return style == BorderStyle::Sizeable || style == BorderStyle::SizeToolWin;
}

QSize frameMetrics(const QWidget& window)
{
    if (formBorderStyle(window) == BorderStyle::None)
        return {0, 0};
    // The window system draws the frame; its margins are known once the window exists.
    const QWindow* handle = window.windowHandle();
    if (!handle)
        return {0, 0};
    const QMargins margins = handle->frameMargins();
    return {margins.left(), margins.bottom()};
}

QWidget* applicationMainWindow()
{
    return mainWindowPointer().data();
}

void setApplicationMainWindow(QWidget* window)
{
    mainWindowPointer() = window;
}

bool isApplicationMainWindow(const QWidget& window)
{
    const QWidget* main = applicationMainWindow();
    return !main || main == &window;
}

} // namespace stowmere::placement
