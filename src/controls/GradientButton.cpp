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
void DrawRoundBorder(Image24& face, const Rect& r, Color color)
{
    const int w = r.width();
    const int h = r.height();
    if (w < 5 || h < 5) {
        frameRect(face, r, color);
        return;
    }
    fillRect(face, {r.Left + 2, r.Top, r.Right - 2, r.Top + 1}, color);
    fillRect(face, {r.Left + 2, r.Bottom - 1, r.Right - 2, r.Bottom}, color);
    fillRect(face, {r.Left, r.Top + 2, r.Left + 1, r.Bottom - 2}, color);
    fillRect(face, {r.Right - 1, r.Top + 2, r.Right, r.Bottom - 2}, color);
    const Color rgb = resolvedRgb(color);
    face.setPixel(r.Left + 1, r.Top + 1, rgb);
    face.setPixel(r.Right - 2, r.Top + 1, rgb);
    face.setPixel(r.Left + 1, r.Bottom - 2, rgb);
    face.setPixel(r.Right - 2, r.Bottom - 2, rgb);
}

bool NoModifiers(const QKeyEvent* event)
{
    return (event->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier)) == 0;
}

bool IsEnter(const QKeyEvent* event)
{
    return event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
}

} // namespace

GradientButton::GradientButton(QWidget* parent) : GradientControl(parent)
{
    resize(75, 25);
    RebuildImages();
}

GradientButton::~GradientButton()
{
    if (m_keyWindow)
        m_keyWindow->removeEventFilter(this);
}

void GradientButton::SetGlyph(const QImage& value)
{
    m_glyph = value;
    m_glyph24 = Image24::fromQImage(value);
    update();
}

void GradientButton::SetSpacing(int value)
{
    m_spacing = value < 0 ? 0 : value;
}

void GradientButton::SetLayout(ButtonLayout value)
{
    if (value == m_layout)
        return;
    m_layout = value;
    update();
}

void GradientButton::SetColors(const ControlColors& value)
{
    if (value == m_colors)
        return;
    const bool rebuild = value.ImagesDiffer(m_colors);
    m_colors = value;
    if (rebuild)
        RebuildImages();
    else
        update();
}

void GradientButton::SetShowFocusRect(bool value)
{
    if (value == m_showFocusRect)
        return;
    m_showFocusRect = value;
    update();
}

void GradientButton::SetHotTrack(bool value)
{
    if (value == m_hotTrack)
        return;
    m_hotTrack = value;
    update();
}

void GradientButton::SetDefault(bool value)
{
    if (value == m_default)
        return;
    m_default = value;
    WatchWindowKeys();
}

void GradientButton::SetCancel(bool value)
{
    if (value == m_cancel)
        return;
    m_cancel = value;
    WatchWindowKeys();
}

void GradientButton::setGradientType(GradientType value)
{
    if (value == m_gradientType)
        return;
    m_gradientType = value;
    RebuildImages();
}

bool GradientButton::OtherGroupButtonDown() const
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

void GradientButton::SetDown(bool value)
{
    if (m_groupIndex <= 0)
        return;
    if (!value && !m_allowAllUp && !OtherGroupButtonDown())
        return;
    m_down = value;
    if (value) {
        if (QWidget* parent = parentWidget()) {
            for (QObject* child : parent->children()) {
                auto* button = dynamic_cast<GradientButton*>(child);
                if (button != nullptr && button != this && button->m_groupIndex == m_groupIndex)
                    button->SetDown(false);
            }
        }
        SetHover(true);
        SetPressed(true);
        UseFadeInStep();
    } else {
        SetPressed(false);
        UseFadeOutStep();
    }
    // Setting the same value again is not filtered out: it restarts the fade.
    startFade(*this);
}

void GradientButton::Click()
{
    if (auto* dialog = qobject_cast<QDialog*>(window())) {
        dialog->setResult(m_modalResult);
        // A result of 0 never closes a window by itself.
        if (m_modalResult != 0 && dialog->isModal())
            dialog->done(m_modalResult);
    }
    if (m_groupIndex > 0 && !m_down)
        SetDown(true);
    else
        SetDown(false);
    GradientControl::Click();
}

void GradientButton::RebuildImages()
{
    const int w = width();
    const int h = height();
    m_defaultImage.resize(w, h);
    m_overImage.resize(w, h);
    m_clickedImage.resize(w, h);
    const Rect whole{0, 0, w, h};
    fillGradient(m_defaultImage, whole, m_colors.DefaultFrom(), m_colors.DefaultTo(), m_gradientType);
    fillGradient(m_overImage, whole, m_colors.OverFrom(), m_colors.OverTo(), m_gradientType);
    fillGradient(m_clickedImage, whole, m_colors.ClickedFrom(), m_colors.ClickedTo(), m_gradientType);
    update();
}

Image24 GradientButton::RenderFace()
{
    // A hidden widget is resized without a resize event; its first paint is that trigger.
    if (m_defaultImage.width() != width() || m_defaultImage.height() != height())
        RebuildImages();

    const int w = width();
    const int h = height();
    Image24 face(w, h);
    if (face.isEmpty())
        return face;
    const Rect r{0, 0, w, h};
    composeLayers(face, m_defaultImage, m_overImage, HoverLevel(), r, 1);
    if (PressLevel() > 0) {
        const Rect pressed = m_gradientBorder ? r.inflated(-3, -3) : r;
        blendImage(face, m_clickedImage, pressed, PressLevel());
    }
    frameRect(face, r, color());
    DrawRoundBorder(face, r, m_colors.BorderColor());

    Rect text = r;
    if (!m_glyph24.isEmpty()) {
        switch (m_layout) {
        case ButtonLayout::GlyphLeft:
            text.Left += m_glyph24.width() + m_spacing;
            break;
        case ButtonLayout::GlyphRight:
            text.Left -= m_glyph24.width() + m_spacing;
            break;
        case ButtonLayout::GlyphTop:
            text.Top += m_glyph24.height() + m_spacing;
            break;
        case ButtonLayout::GlyphBottom:
            text.Top -= m_glyph24.height() + m_spacing;
            break;
        }
    }
    const Color fontColor = m_hotTrack && Hover() ? m_colors.HotTrack() : FontColor();
    if (ShowCaption()) {
        QImage target = face.asQImage();
        QPainter painter(&target);
        drawCaption(painter, Caption(), font(), fontColor, m_colors.TextShadow(), TextShadow(),
                    captionFormat(2, false), text, isEnabled());
    }
    PaintGlyph(face, text, font());
    if (hasFocus() && m_showFocusRect)
        drawFocusRect(face, r.inflated(-2, -2));
    return face;
}

void GradientButton::PaintGlyph(Image24& face, const Rect& t, const QFont& font)
{
    if (m_glyph24.isEmpty())
        return;
    Image24 glyph = m_glyph24;
    if (!isEnabled())
        tintImage(glyph, Color::rgb(64, 64, 64));
    const QFontMetrics metrics(font);
    const int gw = glyph.width();
    const int gh = glyph.height();
    const int tw = metrics.horizontalAdvance(Caption());
    const int th = metrics.height();
    const bool withCaption = !Caption().isEmpty() && ShowCaption();
    const int w = width();
    const int h = height();
    int x = 0;
    int y = 0;
    switch (m_layout) {
    case ButtonLayout::GlyphLeft:
        x = withCaption ? (t.Left + t.Right - tw) / 2 - m_spacing - gw
                        : (t.Left + t.Right - m_spacing) / 2 - gw;
        y = (h - gh) / 2;
        break;
    case ButtonLayout::GlyphRight:
        x = withCaption ? (t.Left + t.Right + tw) / 2 + m_spacing : (t.Left + t.Right) / 2 + m_spacing;
        y = (h - gh) / 2;
        break;
    case ButtonLayout::GlyphTop:
        x = (w - gw) / 2;
        y = withCaption ? (t.Top + t.Bottom - th) / 2 - m_spacing - gh
                        : (t.Top + t.Bottom) / 2 - m_spacing - gh;
        break;
    case ButtonLayout::GlyphBottom:
        x = (w - gw) / 2;
        y = withCaption ? (t.Top + t.Bottom + th) / 2 + m_spacing : (t.Top + t.Bottom) / 2 + m_spacing;
        break;
    }
    drawTransparent(face, glyph, x, y);
}

void GradientButton::FocusChanged()
{
    update();
}

void GradientButton::LeftButtonDown()
{
    GradientControl::LeftButtonDown();
    SetPressed(true);
    SetHover(true);
    UseFadeInStep();
    startFade(*this);
}

void GradientButton::LeftButtonUp()
{
    GradientControl::LeftButtonUp();
    if (!m_down)
        SetPressed(false);
    if (Hover())
        UseFadeInStep();
    startFade(*this);
}

void GradientButton::MouseEntered()
{
    GradientControl::MouseEntered();
    SetHover(true);
    UseFadeInStep();
    startFade(*this);
}

void GradientButton::MouseLeft()
{
    GradientControl::MouseLeft();
    // A latched button keeps its clicked look when the pointer leaves.
    if (m_down)
        return;
    SetHover(false);
    UseFadeOutStep();
    startFade(*this);
}

void GradientButton::Resized()
{
    GradientControl::Resized();
    if (m_defaultImage.width() != width() || m_defaultImage.height() != height())
        RebuildImages();
}

void GradientButton::paintEvent(QPaintEvent*)
{
    Image24 face = RenderFace();
    QPainter painter(this);
    painter.drawImage(0, 0, face.asQImage());
}

bool GradientButton::CanTakeFocus() const
{
    return isVisible() && isEnabled() && focusPolicy() != Qt::NoFocus;
}

void GradientButton::keyPressEvent(QKeyEvent* event)
{
    if (IsEnter(event) && hasFocus() && CanTakeFocus()) {
        Click();
        event->accept();
        return;
    }
    if (event->key() == Qt::Key_Escape && m_cancel && NoModifiers(event) && CanTakeFocus()) {
        Click();
        event->accept();
        return;
    }
    // Each key-down of the space bar, auto-repeat included, clicks a focused button.
    if (event->key() == Qt::Key_Space && NoModifiers(event) && hasFocus())
        Click();
    GradientControl::keyPressEvent(event);
}

bool GradientButton::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_keyWindow && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (IsEnter(key) && m_default && CanTakeFocus()) {
            Click();
            return true;
        }
        if (key->key() == Qt::Key_Escape && m_cancel && NoModifiers(key) && CanTakeFocus()) {
            Click();
            return true;
        }
    }
    return GradientControl::eventFilter(watched, event);
}

void GradientButton::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::ParentChange)
        WatchWindowKeys();
    GradientControl::changeEvent(event);
}

void GradientButton::showEvent(QShowEvent* event)
{
    // An ancestor may have been moved into its window after Default or Cancel was set.
    WatchWindowKeys();
    GradientControl::showEvent(event);
}

void GradientButton::WatchWindowKeys()
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
