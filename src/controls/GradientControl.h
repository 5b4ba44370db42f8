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

    bool textShadow() const { return m_textShadow; }
    void setTextShadow(bool value);
    bool showCaption() const { return m_showCaption; }
    void setShowCaption(bool value);

    const QString& caption() const { return m_caption; }
    void setCaption(const QString& value);

    /// The control's own colour (panel face, button frame, check box background).
    Color color() const { return m_color; }
    void setColor(Color value);
    /// When True the control follows its parent control's colour.
    bool parentColor() const { return m_parentColor; }
    void setParentColor(bool value);
    Color fontColor() const { return m_fontColor; }
    void setFontColor(Color value);

    bool tabStop() const { return focusPolicy() == Qt::StrongFocus; }
    void setTabStop(bool value);

    StyleManager* gradStyleManager() const { return m_styleManager; }
    void setGradStyleManager(StyleManager* manager);

    /// Read-only credit line of the control family; assigning it has no effect.
    QString about() const;
    void setAbout(const QString&) {}

    FadeSpeed fadeSpeed() const { return m_fadeSpeed; }
    void setFadeSpeed(FadeSpeed value) { m_fadeSpeed = value; }

    bool isHovered() const { return m_hover; }
    bool isPressed() const { return m_pressed; }
    int hoverLevel() const { return m_hoverLevel; }
    int pressLevel() const { return m_pressLevel; }
    bool isFading() const { return m_fadeTimer.isActive(); }
    int fadeTimerInterval() const { return m_fadeTimer.interval(); }

    /// The removal notice of a style manager: a link to it is cleared.
    void styleManagerRemoved(StyleManager* manager);

    // The operations this family adds, in their designed order.

    /// Redraws the cached images that the control's colours are baked into.
    virtual void rebuildImages() {}

protected:
    virtual void enabledChanged();
    virtual void focusChanged();
    virtual void leftButtonDown();
    virtual void leftButtonUp();
    virtual void pointerEntered();
    virtual void pointerLeft();
    virtual void mouseMoved();
    virtual void parentColorChanged();
    virtual void resized();
    virtual void textChanged();
    virtual void fadeOutStep();
    virtual void fadeInStep();

public:
    /// The activation of the control; the base emits clicked.
    virtual void click();

signals:
    /// The user activated the control (mouse, or the keys of a default or cancel button).
    void clicked();
    /// The pointer entered or left the control.
    void mouseEntered();
    void mouseLeft();

protected:
    /// Called after Color has taken a new value; the base repaints.
    virtual void colorChanged();

    void setHovered(bool value) { m_hover = value; }
    void setPressed(bool value) { m_pressed = value; }
    void useFadeInStep() { m_fadeStep = &GradientControl::fadeInStep; }
    void useFadeOutStep() { m_fadeStep = &GradientControl::fadeOutStep; }
    /// Panels take double clicks; the other controls see them as a second single click.
    void setAcceptsDoubleClicks(bool value) { m_acceptsDoubleClicks = value; }

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
    bool event(QEvent* event) override;

private:
    friend void startFade(GradientControl& control);

    void pointerInside(bool inside);
    void applyColor(Color value);
    void fadeTick();

    bool m_textShadow = true;
    bool m_showCaption = true;
    QString m_caption;
    // The shortcut of the caption's mnemonic ("&Backup" is Alt+B), 0 when it has none.
    int m_mnemonicId = 0;
    Color m_color = colors::ButtonFace;
    bool m_parentColor = false;
    Color m_fontColor = colors::Black;
    StyleManager* m_styleManager = nullptr;

    bool m_hover = false;
    bool m_pressed = false;
    int m_hoverLevel = 0;
    int m_pressLevel = 0;
    FadeSpeed m_fadeSpeed = FadeSpeed::Medium;
    void (GradientControl::*m_fadeStep)() = &GradientControl::fadeInStep;
    QTimer m_fadeTimer;

    bool m_pointerInside = false;
    bool m_leftDown = false;
    bool m_acceptsDoubleClicks = false;
};

} // namespace stowmere::controls
