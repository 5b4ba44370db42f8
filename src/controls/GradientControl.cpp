// SPDX-License-Identifier: GPL-3.0-or-later
#include "controls/GradientControl.h"

#include "controls/StyleManager.h"

#include <QAccessible>
#include <QEnterEvent>
#include <QEvent>
#include <QFocusEvent>
#include <QKeySequence>
#include <QMouseEvent>
#include <QShortcutEvent>

namespace stowmere::controls {

GradientControl::GradientControl(QWidget* parent) : QWidget(parent)
{
    // Every pixel is painted from an off-screen image, so Qt need not clear first.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::StrongFocus);
    m_fadeTimer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&m_fadeTimer, &QTimer::timeout, this, [this] { fadeTick(); });
}

GradientControl::~GradientControl()
{
    if (m_styleManager != nullptr && !m_styleManager->isDestroying())
        m_styleManager->removeControl(this);
}

void GradientControl::setTextShadow(bool value)
{
    if (value == m_textShadow)
        return;
    m_textShadow = value;
    update();
}

void GradientControl::setShowCaption(bool value)
{
    if (value == m_showCaption)
        return;
    m_showCaption = value;
    update();
}

void GradientControl::setCaption(const QString& value)
{
    if (value == m_caption)
        return;
    m_caption = value;
    if (m_mnemonicId != 0)
        releaseShortcut(m_mnemonicId);
    const QKeySequence mnemonic = QKeySequence::mnemonic(value);
    m_mnemonicId = mnemonic.isEmpty() ? 0 : grabShortcut(mnemonic);
    if (QAccessible::isActive()) {
        QAccessibleEvent event(this, QAccessible::NameChanged);
        QAccessible::updateAccessibility(&event);
    }
    textChanged();
}

bool GradientControl::event(QEvent* event)
{
    if (event->type() == QEvent::Shortcut && m_mnemonicId != 0 &&
        static_cast<QShortcutEvent*>(event)->shortcutId() == m_mnemonicId) {
        if (focusPolicy() != Qt::NoFocus)
            setFocus(Qt::ShortcutFocusReason);
        // Two controls with one mnemonic take turns at the focus, as Qt's own buttons do;
        // only a mnemonic of its own activates the control.
        if (isEnabled() && !static_cast<QShortcutEvent*>(event)->isAmbiguous())
            click();
        return true;
    }
    return QWidget::event(event);
}

void GradientControl::setColor(Color value)
{
    m_parentColor = false;
    applyColor(value);
}

void GradientControl::applyColor(Color value)
{
    if (value == m_color)
        return;
    m_color = value;
    colorChanged();
    for (QObject* child : children()) {
        if (auto* control = dynamic_cast<GradientControl*>(child))
            control->parentColorChanged();
    }
}

void GradientControl::setParentColor(bool value)
{
    if (value == m_parentColor)
        return;
    m_parentColor = value;
    if (value) {
        if (auto* parent = dynamic_cast<GradientControl*>(parentWidget()))
            applyColor(parent->color());
    }
}

void GradientControl::setFontColor(Color value)
{
    if (value == m_fontColor)
        return;
    m_fontColor = value;
    update();
}

void GradientControl::setTabStop(bool value)
{
    setFocusPolicy(value ? Qt::StrongFocus : Qt::ClickFocus);
}

void GradientControl::setGradStyleManager(StyleManager* manager)
{
    if (manager == m_styleManager)
        return;
    // A control sits in the list of the one manager it links to, so that no manager
    // keeps a pointer to a control that has moved on or been destroyed.
    if (m_styleManager != nullptr)
        m_styleManager->removeControl(this);
    m_styleManager = manager;
    if (manager != nullptr)
        manager->addControl(this);
}

void GradientControl::styleManagerRemoved(StyleManager* manager)
{
    if (manager == m_styleManager)
        m_styleManager = nullptr;
}

QString GradientControl::about() const
{
    return QStringLiteral("Stowmere gradient controls: panel, button and check box");
}

void GradientControl::click()
{
    emit clicked();
}

void GradientControl::enabledChanged()
{
    update();
}

void GradientControl::focusChanged() {}

void GradientControl::leftButtonDown()
{
    if (!hasFocus() && isEnabled() && (focusPolicy() & Qt::ClickFocus) != 0)
        setFocus(Qt::MouseFocusReason);
}

void GradientControl::leftButtonUp() {}

void GradientControl::pointerEntered()
{
    emit mouseEntered();
}

void GradientControl::pointerLeft()
{
    emit mouseLeft();
}

void GradientControl::mouseMoved() {}

void GradientControl::parentColorChanged()
{
    if (!m_parentColor)
        return;
    if (auto* parent = dynamic_cast<GradientControl*>(parentWidget()))
        applyColor(parent->color());
}

void GradientControl::resized() {}

void GradientControl::textChanged()
{
    update();
}

void GradientControl::colorChanged()
{
    update();
}

void GradientControl::fadeOutStep()
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

void GradientControl::fadeInStep()
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

void GradientControl::fadeTick()
{
    // A failing step must not take the event loop down; a later tick stops the timer.
    try {
        (this->*m_fadeStep)();
    } catch (...) {
    }
}

void GradientControl::pointerInside(bool inside)
{
    if (inside == m_pointerInside)
        return;
    m_pointerInside = inside;
    if (inside)
        pointerEntered();
    else
        pointerLeft();
}

void GradientControl::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::EnabledChange)
        enabledChanged();
    else if (event->type() == QEvent::ParentChange)
        parentColorChanged();
    else if (event->type() == QEvent::LayoutDirectionChange)
        update();
    QWidget::changeEvent(event);
}

void GradientControl::focusInEvent(QFocusEvent* event)
{
    focusChanged();
    QWidget::focusInEvent(event);
}

void GradientControl::focusOutEvent(QFocusEvent* event)
{
    focusChanged();
    QWidget::focusOutEvent(event);
}

void GradientControl::mousePressEvent(QMouseEvent* event)
{
    QWidget::mousePressEvent(event);
    if (event->button() != Qt::LeftButton)
        return;
    m_leftDown = true;
    leftButtonDown();
}

void GradientControl::mouseReleaseEvent(QMouseEvent* event)
{
    QWidget::mouseReleaseEvent(event);
    if (event->button() != Qt::LeftButton)
        return;
    // A press and release inside the control make a click; a press dragged out and
    // released elsewhere does not.
    const bool clickedInside = m_leftDown && rect().contains(event->position().toPoint());
    m_leftDown = false;
    if (clickedInside)
        click();
    leftButtonUp();
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
    mouseMoved();
    // While the left button is held the pointer is grabbed; leaving and re-entering
    // are told from the position so the pressed look follows the pointer.
    if (m_leftDown)
        pointerInside(rect().contains(event->position().toPoint()));
    QWidget::mouseMoveEvent(event);
}

void GradientControl::enterEvent(QEnterEvent* event)
{
    pointerInside(true);
    QWidget::enterEvent(event);
}

void GradientControl::leaveEvent(QEvent* event)
{
    pointerInside(false);
    QWidget::leaveEvent(event);
}

void GradientControl::resizeEvent(QResizeEvent* event)
{
    resized();
    QWidget::resizeEvent(event);
}

} // namespace stowmere::controls
