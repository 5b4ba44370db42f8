// SPDX-License-Identifier: GPL-3.0-or-later
#include "placement/FormPosition.h"

#include "placement/WindowPlacement.h"

#include <QGuiApplication>
#include <QScreen>
#include <QVariant>
#include <QWidget>

namespace stowmere::placement {
namespace {

// Kept on the window itself, so any code holding the window can read or switch it.
constexpr const char* kPositionProperty = "stowmere.position";

void centreIn(QWidget& window, const QRect& area)
{
    QRect frame = window.frameGeometry();
    frame.moveCenter(area.center());
    window.move(frame.topLeft());
}

} // namespace

WindowPosition formPosition(const QWidget& window)
{
    const QVariant value = window.property(kPositionProperty);
    return value.isValid() ? static_cast<WindowPosition>(value.toInt()) : WindowPosition::poDesigned;
}

void setFormPosition(QWidget& window, WindowPosition position)
{
    window.setProperty(kPositionProperty, static_cast<int>(position));
}

void applyFormPosition(QWidget& window)
{
    const QScreen* primary = QGuiApplication::primaryScreen();
    if (!primary)
        return;
    switch (formPosition(window)) {
    case WindowPosition::poScreenCenter:
        centreIn(window, primary->availableGeometry());
        break;
    case WindowPosition::poDesktopCenter:
        centreIn(window, primary->virtualGeometry());
        break;
    case WindowPosition::poMainFormCenter:
    case WindowPosition::poOwnerFormCenter: {
        const QWidget* over = formPosition(window) == WindowPosition::poMainFormCenter
                                  ? applicationMainWindow()
                                  : window.parentWidget();
        if (over && over != &window && over->isVisible())
            centreIn(window, over->window()->frameGeometry());
        else
            centreIn(window, primary->availableGeometry());
        break;
    }
    case WindowPosition::poDesigned:
    case WindowPosition::poDefault:
    case WindowPosition::poDefaultPosOnly:
    case WindowPosition::poDefaultSizeOnly:
        break;
    }
}

} // namespace stowmere::placement
