// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "controls/GradientControl.h"

#include <QApplication>
#include <QDebug>
#include <QEnterEvent>
#include <QMouseEvent>
#include <QRect>

#include <ostream>
#include <vector>

namespace stowmere::controls::testing {

// Offscreen windows get no real pointer, so entering and leaving are delivered by hand.
inline void sendEnter(QWidget* widget)
{
    QEnterEvent enter(QPointF(3, 3), QPointF(3, 3), QPointF(3, 3));
    QApplication::sendEvent(widget, &enter);
}

inline void sendLeave(QWidget* widget)
{
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(widget, &leave);
}

inline void sendMouse(QWidget* widget, QEvent::Type type, QPoint pos, Qt::MouseButtons buttons)
{
    QMouseEvent event(type, QPointF(pos), widget->mapToGlobal(QPointF(pos)), Qt::LeftButton, buttons,
                      Qt::NoModifier);
    QApplication::sendEvent(widget, &event);
}

/// Changes a control's colour set the way a caller does: a copy, edited, set as a whole.
template <typename Control, typename Edit> void EditColors(Control& control, Edit edit)
{
    auto colours = control.colors();
    edit(colours);
    control.setColors(colours);
}

/// Counts fade ticks and image rebuilds of any gradient control.
template <typename Control> class Probe : public Control {
public:
    using Control::Control;
    int fadeInTicks = 0;
    int fadeOutTicks = 0;
    int rebuilds = 0;
    std::vector<int> pressAfterTick;

    void rebuildImages() override
    {
        ++rebuilds;
        Control::rebuildImages();
    }

protected:
    void fadeInStep() override
    {
        ++fadeInTicks;
        Control::fadeInStep();
        pressAfterTick.push_back(this->pressLevel());
    }
    void fadeOutStep() override
    {
        ++fadeOutTicks;
        Control::fadeOutStep();
    }
};

} // namespace stowmere::controls::testing

// Outside the namespace, where the test macros find it by the argument's (global) namespace.
inline std::ostream& operator<<(std::ostream& out, const QRect& rect)
{
    return out << rect.x() << "," << rect.y() << " " << rect.width() << "x" << rect.height();
}
