// SPDX-License-Identifier: GPL-3.0-or-later
#include "controls/GradientButton.h"

#include <QDialog>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QPainter>

namespace stowmere::controls {

namespace {

// The 5 by 5 rounded border: straight edges two pixels short of each corner and one
// diagonal pixel cutting it, so the frame colour shows in the three corner pixels.
void drawRoundBorder(Image24& face, const Rect& r, Color color)
{
    const int w = r.width();
    const int h = r.height();
    if (w < 5 || h < 5) {
        frameRect(face, r, color);
        return;
    }
    fillRect(face, {r.left + 2, r.top, r.right - 2, r.top + 1}, color);
    fillRect(face, {r.left + 2, r.bottom - 1, r.right - 2, r.bottom}, color);
    fillRect(face, {r.left, r.top + 2, r.left + 1, r.bottom - 2}, color);
    fillRect(face, {r.right - 1, r.top + 2, r.right, r.bottom - 2}, color);
    const Color rgb = resolvedRgb(color);
    face.setPixel(r.left + 1, r.top + 1, rgb);
    face.setPixel(r.right - 2, r.top + 1, rgb);
    face.setPixel(r.left + 1, r.bottom - 2, rgb);
    face.setPixel(r.right - 2, r.bottom - 2, rgb);
}

bool noModifiers(const QKeyEvent* event)
{
    return (event->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier)) == 0;
}

bool isEnter(const QKeyEvent* event)
{
    return event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
}

} // namespace

GradientButton::GradientButton(QWidget* parent) : GradientControl(parent)
{
    resize(75, 25);
    rebuildImages();
}

GradientButton::~GradientButton()
{
    if (m_keyWindow)
        m_keyWindow->removeEventFilter(this);
}

void GradientButton::setGlyph(const QImage& value)
{
    m_glyph = value;
    m_glyph24 = Image24::fromQImage(value);
    update();
}

void GradientButton::setSpacing(int value)
{
    m_spacing = value < 0 ? 0 : value;
}

void GradientButton::setButtonLayout(ButtonLayout value)
{
    if (value == m_layout)
        return;
    m_layout = value;
    update();
}

void GradientButton::setColors(const ControlColors& value)
{
    if (value == m_colors)
        return;
    const bool rebuild = value.imagesDiffer(m_colors);
    m_colors = value;
    if (rebuild)
        rebuildImages();
    else
        update();
}

void GradientButton::setShowFocusRect(bool value)
{
    if (value == m_showFocusRect)
        return;
    m_showFocusRect = value;
    update();
}

void GradientButton::setHotTrack(bool value)
{
    if (value == m_hotTrack)
        return;
    m_hotTrack = value;
    update();
}

void GradientButton::setDefault(bool value)
{
    if (value == m_default)
        return;
    m_default = value;
    watchWindowKeys();
}

void GradientButton::setCancel(bool value)
{
    if (value == m_cancel)
        return;
    m_cancel = value;
    watchWindowKeys();
}

void GradientButton::setGradientType(GradientType value)
{
    if (value == m_gradientType)
        return;
    m_gradientType = value;
    rebuildImages();
}

bool GradientButton::otherGroupButtonDown() const
{
    const QWidget* parent = parentWidget();
    if (parent == nullptr)
        return false;
    for (const QObject* child : parent->children()) {
        const auto* button = dynamic_cast<const GradientButton*>(child);
        if (button != nullptr && button != this && button->m_groupIndex == m_groupIndex && button->m_down)
            return true;
    }
    return false;
}

void GradientButton::setDown(bool value)
{
    if (m_groupIndex <= 0)
        return;
    if (!value && !m_allowAllUp && !otherGroupButtonDown())
        return;
    m_down = value;
    if (value) {
        if (QWidget* parent = parentWidget()) {
            for (QObject* child : parent->children()) {
                auto* button = dynamic_cast<GradientButton*>(child);
                if (button != nullptr && button != this && button->m_groupIndex == m_groupIndex)
                    button->setDown(false);
            }
        }
        setHovered(true);
        setPressed(true);
        useFadeInStep();
    } else {
        setPressed(false);
        useFadeOutStep();
    }
    // Setting the same value again is not filtered out: it restarts the fade.
    startFade(*this);
}

void GradientButton::click()
{
    if (auto* dialog = qobject_cast<QDialog*>(window())) {
        dialog->setResult(m_modalResult);
        // A result of 0 never closes a window by itself.
        if (m_modalResult != 0 && dialog->isModal())
            dialog->done(m_modalResult);
    }
    if (m_groupIndex > 0 && !m_down)
        setDown(true);
    else
        setDown(false);
    GradientControl::click();
}

void GradientButton::rebuildImages()
{
    const int w = width();
    const int h = height();
    m_defaultImage.resize(w, h);
    m_overImage.resize(w, h);
    m_clickedImage.resize(w, h);
    const Rect whole{0, 0, w, h};
    fillGradient(m_defaultImage, whole, m_colors.defaultFrom(), m_colors.defaultTo(), m_gradientType);
    fillGradient(m_overImage, whole, m_colors.overFrom(), m_colors.overTo(), m_gradientType);
    fillGradient(m_clickedImage, whole, m_colors.clickedFrom(), m_colors.clickedTo(), m_gradientType);
    update();
}

Image24 GradientButton::renderFace()
{
    // A hidden widget is resized without a resize event; its first paint is that trigger.
    if (m_defaultImage.width() != width() || m_defaultImage.height() != height())
        rebuildImages();

    const int w = width();
    const int h = height();
    Image24 face(w, h);
    if (face.isEmpty())
        return face;
    const Rect r{0, 0, w, h};
    composeLayers(face, m_defaultImage, m_overImage, hoverLevel(), r, 1);
    if (pressLevel() > 0) {
        const Rect pressed = m_gradientBorder ? r.inflated(-3, -3) : r;
        blendImage(face, m_clickedImage, pressed, pressLevel());
    }
    frameRect(face, r, color());
    drawRoundBorder(face, r, m_colors.borderColor());

    Rect text = r;
    if (!m_glyph24.isEmpty()) {
        switch (shownLayout()) {
        case ButtonLayout::GlyphLeft:
            text.left += m_glyph24.width() + m_spacing;
            break;
        case ButtonLayout::GlyphRight:
            text.left -= m_glyph24.width() + m_spacing;
            break;
        case ButtonLayout::GlyphTop:
            text.top += m_glyph24.height() + m_spacing;
            break;
        case ButtonLayout::GlyphBottom:
            text.top -= m_glyph24.height() + m_spacing;
            break;
        }
    }
    const Color textColor = m_hotTrack && isHovered() ? m_colors.hotTrack() : fontColor();
    if (showCaption()) {
        QImage target = face.asQImage();
        QPainter painter(&target);
        drawCaption(painter, caption(), font(), textColor, m_colors.textShadow(), textShadow(),
                    captionFormat(2, false) & ~TextFlags(TextFlag::NoPrefix), text, isEnabled());
    }
    paintGlyph(face, text, font());
    if (hasFocus() && m_showFocusRect)
        drawFocusRect(face, r.inflated(-2, -2));
    return face;
}

void GradientButton::paintGlyph(Image24& face, const Rect& t, const QFont& font)
{
    if (m_glyph24.isEmpty())
        return;
    Image24 glyph = m_glyph24;
    if (!isEnabled())
        tintImage(glyph, Color::rgb(64, 64, 64));
    const QFontMetrics metrics(font);
    const int gw = glyph.width();
    const int gh = glyph.height();
    const int tw = metrics.size(Qt::TextShowMnemonic | Qt::TextSingleLine, caption()).width();
    const int th = metrics.height();
    const bool withCaption = !caption().isEmpty() && showCaption();
    const int w = width();
    const int h = height();
    int x = 0;
    int y = 0;
    switch (shownLayout()) {
    case ButtonLayout::GlyphLeft:
        x = withCaption ? (t.left + t.right - tw) / 2 - m_spacing - gw
                        : (t.left + t.right - m_spacing) / 2 - gw;
        y = (h - gh) / 2;
        break;
    case ButtonLayout::GlyphRight:
        x = withCaption ? (t.left + t.right + tw) / 2 + m_spacing : (t.left + t.right) / 2 + m_spacing;
        y = (h - gh) / 2;
        break;
    case ButtonLayout::GlyphTop:
        x = (w - gw) / 2;
        y = withCaption ? (t.top + t.bottom - th) / 2 - m_spacing - gh
                        : (t.top + t.bottom) / 2 - m_spacing - gh;
        break;
    case ButtonLayout::GlyphBottom:
        x = (w - gw) / 2;
        y = withCaption ? (t.top + t.bottom + th) / 2 + m_spacing : (t.top + t.bottom) / 2 + m_spacing;
        break;
    }
    drawTransparent(face, glyph, x, y);
}

ButtonLayout GradientButton::shownLayout() const
{
    if (layoutDirection() != Qt::RightToLeft)
        return m_layout;
    switch (m_layout) {
    case ButtonLayout::GlyphLeft:
        return ButtonLayout::GlyphRight;
    case ButtonLayout::GlyphRight:
        return ButtonLayout::GlyphLeft;
    case ButtonLayout::GlyphTop:
    case ButtonLayout::GlyphBottom:
        break;
    }
    return m_layout;
}

void GradientButton::focusChanged()
{
    update();
}

void GradientButton::leftButtonDown()
{
    GradientControl::leftButtonDown();
    setPressed(true);
    setHovered(true);
    useFadeInStep();
    startFade(*this);
}

void GradientButton::leftButtonUp()
{
    GradientControl::leftButtonUp();
    if (!m_down)
        setPressed(false);
    if (isHovered())
        useFadeInStep();
    startFade(*this);
}

void GradientButton::pointerEntered()
{
    GradientControl::pointerEntered();
    setHovered(true);
    useFadeInStep();
    startFade(*this);
}

void GradientButton::pointerLeft()
{
    GradientControl::pointerLeft();
    // A latched button keeps its clicked look when the pointer leaves.
    if (m_down)
        return;
    setHovered(false);
    useFadeOutStep();
    startFade(*this);
}

void GradientButton::resized()
{
    GradientControl::resized();
    if (m_defaultImage.width() != width() || m_defaultImage.height() != height())
        rebuildImages();
}

void GradientButton::paintEvent(QPaintEvent*)
{
    Image24 face = renderFace();
    QPainter painter(this);
    painter.drawImage(0, 0, face.asQImage());
}

bool GradientButton::canTakeFocus() const
{
    return isVisible() && isEnabled() && focusPolicy() != Qt::NoFocus;
}

void GradientButton::keyPressEvent(QKeyEvent* event)
{
    if (isEnter(event) && hasFocus() && canTakeFocus()) {
        click();
        event->accept();
        return;
    }
    if (event->key() == Qt::Key_Escape && m_cancel && noModifiers(event) && canTakeFocus()) {
        click();
        event->accept();
        return;
    }
    // Each key-down of the space bar, auto-repeat included, clicks a focused button.
    if (event->key() == Qt::Key_Space && noModifiers(event) && hasFocus())
        click();
    GradientControl::keyPressEvent(event);
}

bool GradientButton::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_keyWindow && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (isEnter(key) && m_default && canTakeFocus()) {
            click();
            return true;
        }
        if (key->key() == Qt::Key_Escape && m_cancel && noModifiers(key) && canTakeFocus()) {
            click();
            return true;
        }
    }
    return GradientControl::eventFilter(watched, event);
}

void GradientButton::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::ParentChange)
        watchWindowKeys();
    GradientControl::changeEvent(event);
}

void GradientButton::showEvent(QShowEvent* event)
{
    // An ancestor may have been moved into its window after Default or Cancel was set.
    watchWindowKeys();
    GradientControl::showEvent(event);
}

void GradientButton::watchWindowKeys()
{
    QWidget* target = (m_default || m_cancel) ? window() : nullptr;
    if (target == this)
        target = nullptr;
    if (target == m_keyWindow)
        return;
    if (m_keyWindow)
        m_keyWindow->removeEventFilter(this);
    m_keyWindow = target;
    if (m_keyWindow)
        m_keyWindow->installEventFilter(this);
}

} // namespace stowmere::controls
