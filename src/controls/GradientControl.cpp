// SPDX-License-Identifier: GPL-3.0-or-later
#include "controls/GradientControl.h"

#include "controls/StyleManager.h"

#include <QEnterEvent>
#include <QEvent>
#include <QFocusEvent>
#include <QMouseEvent>

namespace stowmere::controls {

GradientControl::GradientControl(QWidget* parent) : QWidget(parent)
{
    // Every pixel is painted from an off-screen image, so Qt need not clear first.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::StrongFocus);
    m_fadeTimer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&m_fadeTimer, &QTimer::timeout, this, [this] { FadeTick(); });
}

GradientControl::~GradientControl()
{
    if (m_styleManager != nullptr && !m_styleManager->IsDestroying())
        m_styleManager->RemoveControl(this);
}

void GradientControl::SetTextShadow(bool value)
{
    if (value == m_textShadow)
        return;
    m_textShadow = value;
    update();
}

void GradientControl::SetShowCaption(bool value)
{
    if (value == m_showCaption)
        return;
    m_showCaption = value;
    update();
}

void GradientControl::SetCaption(const QString& value)
{
    if (value == m_caption)
        return;
    m_caption = value;
    TextChanged();
}

void GradientControl::setColor(Color value)
{
    m_parentColor = false;
    ApplyColor(value);
}

void GradientControl::ApplyColor(Color value)
{
    if (value == m_color)
        return;
    m_color = value;
    ColorChanged();
    for (QObject* child : children()) {
        if (auto* control = dynamic_cast<GradientControl*>(child))
            control->ParentColorChanged();
    }
}

void GradientControl::SetParentColor(bool value)
{
    if (value == m_parentColor)
        return;
    m_parentColor = value;
    if (value) {
        if (auto* parent = dynamic_cast<GradientControl*>(parentWidget()))
            ApplyColor(parent->color());
    }
}

void GradientControl::SetFontColor(Color value)
{
    if (value == m_fontColor)
        return;
    m_fontColor = value;
    update();
}

void GradientControl::SetTabStop(bool value)
{
    setFocusPolicy(value ? Qt::StrongFocus : Qt::ClickFocus);
}

void GradientControl::SetGradStyleManager(StyleManager* manager)
{
    if (manager == m_styleManager)
        return;
    // A control sits in the list of the one manager it links to, so that no manager
    // keeps a pointer to a control that has moved on or been destroyed.
    if (m_styleManager != nullptr)
        m_styleManager->RemoveControl(this);
    m_styleManager = manager;
    if (manager != nullptr)
        manager->AddControl(this);
}

void GradientControl::StyleManagerRemoved(StyleManager* manager)
{
    if (manager == m_styleManager)
        m_styleManager = nullptr;
}

QString GradientControl::About() const
{
    return QStringLiteral("Stowmere gradient controls: panel, button and check box");
}

void GradientControl::Click()
{
    emit clicked();
}

void GradientControl::EnabledChanged()
{
    update();
}

void GradientControl::FocusChanged() {}

void GradientControl::LeftButtonDown()
{
    if (!hasFocus() && isEnabled() && (focusPolicy() & Qt::ClickFocus) != 0)
        setFocus(Qt::MouseFocusReason);
}

void GradientControl::LeftButtonUp() {}

void GradientControl::MouseEntered()
{
    emit mouseEntered();
}

void GradientControl::MouseLeft()
{
    emit mouseLeft();
}

void GradientControl::MouseMoved() {}

void GradientControl::ParentColorChanged()
{
    if (!m_parentColor)
        return;
    if (auto* parent = dynamic_cast<GradientControl*>(parentWidget()))
        ApplyColor(parent->color());
}

void GradientControl::Resized() {}

void GradientControl::TextChanged()
{
    update();
}

void GradientControl::ColorChanged()
{
    update();
}

void GradientControl::FadeOutStep()
{
    if (m_pressLevel > 0)
        m_pressLevel -= 100;
    if (m_hoverLevel > 0 || m_pressLevel > 0) {
        m_hoverLevel -= 10;
    } else {
        m_hoverLevel = 0;
        m_pressLevel = 0;
        m_fadeTimer.stop();
    }
    update();
}

void GradientControl::FadeInStep()
{
    if (m_pressed && m_hover) {
        if (m_pressLevel >= 100) {
            m_pressLevel = 100;
            update();
            m_fadeTimer.stop();
        } else {
            m_pressLevel += 100;
            update();
        }
        return;
    }
    if (m_pressLevel > 0)
        m_pressLevel -= 100;
    if (m_hoverLevel < 100)
        m_hoverLevel += 10;
    else
        m_hoverLevel = 100;
    update();
    if (m_pressLevel <= 0 && m_hoverLevel >= 100)
        m_fadeTimer.stop();
}

void GradientControl::FadeTick()
{
    // A failing step must not take the event loop down; a later tick stops the timer.
    try {
        (this->*m_fadeStep)();
    } catch (...) {
    }
}

void GradientControl::PointerInside(bool inside)
{
    if (inside == m_pointerInside)
        return;
    m_pointerInside = inside;
    if (inside)
        MouseEntered();
    else
        MouseLeft();
}

void GradientControl::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::EnabledChange)
        EnabledChanged();
    else if (event->type() == QEvent::ParentChange)
        ParentColorChanged();
    QWidget::changeEvent(event);
}

void GradientControl::focusInEvent(QFocusEvent* event)
{
    FocusChanged();
    QWidget::focusInEvent(event);
}

void GradientControl::focusOutEvent(QFocusEvent* event)
{
    FocusChanged();
    QWidget::focusOutEvent(event);
}

void GradientControl::mousePressEvent(QMouseEvent* event)
{
    QWidget::mousePressEvent(event);
    if (event->button() != Qt::LeftButton)
        return;
    m_leftDown = true;
    LeftButtonDown();
}

void GradientControl::mouseReleaseEvent(QMouseEvent* event)
{
    QWidget::mouseReleaseEvent(event);
    if (event->button() != Qt::LeftButton)
        return;
    // A press and release inside the control make a click; a press dragged out and
    // released elsewhere does not.
    const bool click = m_leftDown && rect().contains(event->position().toPoint());
    m_leftDown = false;
    if (click)
        Click();
    LeftButtonUp();
}

void GradientControl::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (m_acceptsDoubleClicks)
        QWidget::mouseDoubleClickEvent(event);
    else
        mousePressEvent(event);
}

void GradientControl::mouseMoveEvent(QMouseEvent* event)
{
    MouseMoved();
    // While the left button is held the pointer is grabbed; leaving and re-entering
    // are told from the position so the pressed look follows the pointer.
    if (m_leftDown)
        PointerInside(rect().contains(event->position().toPoint()));
    QWidget::mouseMoveEvent(event);
}

void GradientControl::enterEvent(QEnterEvent* event)
{
    PointerInside(true);
    QWidget::enterEvent(event);
}

void GradientControl::leaveEvent(QEvent* event)
{
    PointerInside(false);
    QWidget::leaveEvent(event);
}

void GradientControl::resizeEvent(QResizeEvent* event)
{
    Resized();
    QWidget::resizeEvent(event);
}

} // namespace stowmere::controls
