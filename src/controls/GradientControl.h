// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "controls/Color.h"
#include "controls/GradDrawCore.h"

#include <QString>
#include <QTimer>
#include <QWidget>

namespace stowmere::controls {

class StyleManager;

/// The common base of the self-painted controls: caption and shadow switches, the
/// control's own colour, the style-manager link, the hover and press state with its
/// fade engine, and the hooks that subclasses override, in the order they were designed.
class GradientControl : public QWidget {
    Q_OBJECT

public:
    explicit GradientControl(QWidget* parent = nullptr);
    ~GradientControl() override;

    bool TextShadow() const { return m_textShadow; }
    void SetTextShadow(bool value);
    bool ShowCaption() const { return m_showCaption; }
    void SetShowCaption(bool value);

    const QString& Caption() const { return m_caption; }
    void SetCaption(const QString& value);

    /// The control's own colour (panel face, button frame, check box background).
    Color color() const { return m_color; }
    void setColor(Color value);
    /// When True the control follows its parent control's colour.
    bool ParentColor() const { return m_parentColor; }
    void SetParentColor(bool value);
    Color FontColor() const { return m_fontColor; }
    void SetFontColor(Color value);

    bool TabStop() const { return focusPolicy() == Qt::StrongFocus; }
    void SetTabStop(bool value);

    StyleManager* GradStyleManager() const { return m_styleManager; }
    void SetGradStyleManager(StyleManager* manager);

    /// Read-only credit line of the control family; assigning it has no effect.
    QString About() const;
    void SetAbout(const QString&) {}

    FadeSpeed fadeSpeed() const { return m_fadeSpeed; }
    void setFadeSpeed(FadeSpeed value) { m_fadeSpeed = value; }

    bool Hover() const { return m_hover; }
    bool Pressed() const { return m_pressed; }
    int HoverLevel() const { return m_hoverLevel; }
    int PressLevel() const { return m_pressLevel; }
    bool IsFading() const { return m_fadeTimer.isActive(); }
    int FadeTimerInterval() const { return m_fadeTimer.interval(); }

    /// The removal notice of a style manager: a link to it is cleared.
    void StyleManagerRemoved(StyleManager* manager);

    // The operations this family adds, in their designed order.

    /// Redraws the cached images that the control's colours are baked into.
    virtual void RebuildImages() {}

protected:
    virtual void EnabledChanged();
    virtual void FocusChanged();
    virtual void LeftButtonDown();
    virtual void LeftButtonUp();
    virtual void MouseEntered();
    virtual void MouseLeft();
    virtual void MouseMoved();
    virtual void ParentColorChanged();
    virtual void Resized();
    virtual void TextChanged();
    virtual void FadeOutStep();
    virtual void FadeInStep();

public:
    /// The activation of the control; the base emits clicked.
    virtual void Click();

signals:
    /// The user activated the control (mouse, or the keys of a default or cancel button).
    void clicked();
    /// The pointer entered or left the control.
    void mouseEntered();
    void mouseLeft();

protected:
    /// Called after Color has taken a new value; the base repaints.
    virtual void ColorChanged();

    void SetHover(bool value) { m_hover = value; }
    void SetPressed(bool value) { m_pressed = value; }
    void UseFadeInStep() { m_fadeStep = &GradientControl::FadeInStep; }
    void UseFadeOutStep() { m_fadeStep = &GradientControl::FadeOutStep; }
    /// Panels take double clicks; the other controls see them as a second single click.
    void SetAcceptsDoubleClicks(bool value) { m_acceptsDoubleClicks = value; }

    void changeEvent(QEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    friend void startFade(GradientControl& control);

    void PointerInside(bool inside);
    void ApplyColor(Color value);
    void FadeTick();

    bool m_textShadow = true;
    bool m_showCaption = true;
    QString m_caption;
    Color m_color = colors::ButtonFace;
    bool m_parentColor = false;
    Color m_fontColor = colors::Black;
    StyleManager* m_styleManager = nullptr;

    bool m_hover = false;
    bool m_pressed = false;
    int m_hoverLevel = 0;
    int m_pressLevel = 0;
    FadeSpeed m_fadeSpeed = FadeSpeed::Medium;
    void (GradientControl::*m_fadeStep)() = &GradientControl::FadeInStep;
    QTimer m_fadeTimer;

    bool m_pointerInside = false;
    bool m_leftDown = false;
    bool m_acceptsDoubleClicks = false;
};

} // namespace stowmere::controls
