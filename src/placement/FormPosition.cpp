// SPDX-License-Identifier: GPL-3.0-or-later
#include "placement/FormPosition.h"

#include "placement/WindowPlacement.h"

#include <QGuiApplication>
#include <QScreen>
#include <QVariant>
#include <QWidget>

namespace stowmere {
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

TPosition formPosition(const QWidget& window)
{
    const QVariant value = window.property(kPositionProperty);
    return value.isValid() ? static_cast<TPosition>(value.toInt()) : TPosition::poDesigned;
}

void setFormPosition(QWidget& window, TPosition position)
{
    window.setProperty(kPositionProperty, static_cast<int>(position));
}

void applyFormPosition(QWidget& window)
{
    const QScreen* primary = QGuiApplication::primaryScreen();
    if (!primary)
        return;
    switch (formPosition(window)) {
    case TPosition::poScreenCenter:
        centreIn(window, primary->availableGeometry());
        break;
    case TPosition::poDesktopCenter:
        centreIn(window, primary->virtualGeometry());
        break;
    case TPosition::poMainFormCenter:
    case TPosition::poOwnerFormCenter: {
        const QWidget* over = formPosition(window) == TPosition::poMainFormCenter ? applicationMainWindow()
                                                                                  : window.parentWidget();
        if (over && over != &window && over->isVisible())
            centreIn(window, over->window()->frameGeometry());
        else
            centreIn(window, primary->availableGeometry());
        break;
    }
    case TPosition::poDesigned:
    case TPosition::poDefault:
    case TPosition::poDefaultPosOnly:
    case TPosition::poDefaultSizeOnly:
        break;
    }
}

} // namespace stowmere
