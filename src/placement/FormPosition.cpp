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
    return value.isValid() ? static_cast<WindowPosition>(value.toInt()) : WindowPosition::Designed;
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
    case WindowPosition::ScreenCenter:
        centreIn(window, primary->availableGeometry());
        break;
    case WindowPosition::DesktopCenter:
        centreIn(window, primary->virtualGeometry());
        break;
    case WindowPosition::MainFormCenter:
    case WindowPosition::OwnerFormCenter: {
        const QWidget* over = formPosition(window) == WindowPosition::MainFormCenter ? applicationMainWindow()
                                                                                     : window.parentWidget();
        if (over && over != &window && over->isVisible())
            centreIn(window, over->window()->frameGeometry());
        else
            centreIn(window, primary->availableGeometry());
        break;
    }
    case WindowPosition::Designed:
    case WindowPosition::Default:
    case WindowPosition::DefaultPosOnly:
    case WindowPosition::DefaultSizeOnly:
        break;
    }
}

} // namespace stowmere::placement
