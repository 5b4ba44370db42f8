// SPDX-License-Identifier: GPL-3.0-or-later
#include "controls/GradientPanel.h"

#include <QEvent>
#include <QFontMetrics>
#include <QPainter>

#include <algorithm>

namespace stowmere::controls {

GradientPanel::GradientPanel(QWidget* parent) : GradientControl(parent)
{
    SetAcceptsDoubleClicks(true);
    setColor(Color::rgb(223, 223, 227));
    SetFontColor(Color::rgb(0, 0, 206));
    resize(185, 105);
    m_background.resize(185, 105);
    m_constructed = true;
    UpdateClientArea();
    RebuildImages();
}

template <typename T> void GradientPanel::StoreAndRebuild(T& field, T value)
{
    if (field == value)
        return;
    field = value;
    RebuildImages();
}

void GradientPanel::setCaptionPosition(CaptionPosition value)
{
    if (value == m_captionPosition)
        return;
    const bool groupBoxChanged =
        (value == CaptionPosition::GroupBox) != (m_captionPosition == CaptionPosition::GroupBox);
    m_captionPosition = value;
    UpdateClientArea();
    if (groupBoxChanged)
        RebuildImages();
    else
        update();
}

void GradientPanel::SetCornerWidth(int value)
{
    if (value < 0)
        return;
    StoreAndRebuild(m_cornerWidth, value);
}

void GradientPanel::SetBorderWidth(int value)
{
    if (value <= 0 || value == m_borderWidth)
        return;
    m_borderWidth = value;
    UpdateClientArea();
    RebuildImages();
}

void GradientPanel::SetBorderColor(Color value)
{
    StoreAndRebuild(m_borderColor, value);
}

void GradientPanel::SetOuterColor(Color value)
{
    StoreAndRebuild(m_outerColor, value);
}

void GradientPanel::SetTextShadowColor(Color value)
{
    if (value == m_textShadowColor)
        return;
    m_textShadowColor = value;
    update();
}

void GradientPanel::SetAntialiased(bool value)
{
    if (value == m_antialiased)
        return;
    m_antialiased = value;
    if (value)
        m_gradient = false;
    RebuildImages();
}

void GradientPanel::SetGradient(bool value)
{
    if (value == m_gradient || (value && m_antialiased))
        return;
    m_gradient = value;
    RebuildImages();
}

void GradientPanel::SetDefaultFrom(Color value)
{
    StoreAndRebuild(m_defaultFrom, value);
}

void GradientPanel::SetDefaultTo(Color value)
{
    StoreAndRebuild(m_defaultTo, value);
}

void GradientPanel::setGradientType(GradientType value)
{
    StoreAndRebuild(m_gradientType, value);
}

int GradientPanel::CaptionHeight() const
{
    return QFontMetrics(font()).height();
}

void GradientPanel::UpdateClientArea()
{
    const int inset = m_borderWidth + 1;
    if (m_captionPosition == CaptionPosition::GroupBox)
        setContentsMargins(inset, 2 * (CaptionHeight() / 2) + 1, inset, 3);
    else
        setContentsMargins(inset, inset, inset, inset);
}

void GradientPanel::RebuildImages()
{
    if (!m_constructed)
        return;
    if (m_background.width() != width() || m_background.height() != height())
        m_background.resize(width(), height());
    if (m_background.isEmpty())
        return;

    const int s = m_antialiased ? 3 : 1;
    Image24 supersampled;
    if (m_antialiased)
        supersampled.resize(s * width(), s * height());
    Image24& work = m_antialiased ? supersampled : m_background;
    const int w = work.width();
    const int h = work.height();
    work.fill(m_outerColor);

    // The frame is a rounded rectangle drawn with a pen p wide centred on its edge; the
    // inset i keeps the pen's outer side on the image's edge.
    const int p = s * m_borderWidth - 1;
    const int i = p / 2;
    const int top = m_captionPosition == CaptionPosition::GroupBox ? (s * CaptionHeight()) / 2 + i : i;
    const Rect frame{i, top, w - i, h - i};
    const int corner = s * m_cornerWidth;
    if (m_gradient) {
        const QRegion face = roundRectRegion(frame, corner, corner);
        fillGradient(work, {0, 0, w, h}, m_defaultFrom, m_defaultTo, m_gradientType, &face);
    }
    const int pen = std::max(p, 1);
    const Rect outer = frame.inflated(i, i);
    const Rect inner = outer.inflated(-pen, -pen);
    const int outerCorner = corner > 0 ? corner + 2 * i : 0;
    const int innerCorner = std::max(outerCorner - 2 * pen, 0);
    const QRegion outerRegion = roundRectRegion(outer, outerCorner, outerCorner);
    const QRegion innerRegion =
        inner.isEmpty() ? QRegion() : roundRectRegion(inner, innerCorner, innerCorner);
    fillRegion(work, outerRegion - innerRegion, m_borderColor);
    if (!m_gradient)
        fillRegion(work, innerRegion, color());

    if (m_antialiased)
        reduceSupersampled(work, m_background, 3, color(), m_cornerWidth + 20);
    update();
}

Image24 GradientPanel::RenderPanel()
{
    // A hidden widget is resized without a resize event; its first paint is that trigger.
    if (m_background.width() != width() || m_background.height() != height())
        RebuildImages();
    Image24 image = m_background;
    if (!ShowCaption() || Caption().isEmpty() || image.isEmpty())
        return image;

    const int w = width();
    const int h = height();
    const int k = (m_cornerWidth + m_borderWidth) / 2;
    Rect text{k, m_borderWidth, w - k, h - m_borderWidth};
    TextFlags align = TextFlag::Left | TextFlag::Top;
    switch (m_captionPosition) {
    case CaptionPosition::GroupBox:
        text.Top = 0;
        if (m_cornerWidth + m_borderWidth < 2)
            text.Left += 5;
        break;
    case CaptionPosition::TopLeft:
        break;
    case CaptionPosition::TopCenter:
        align = TextFlag::Center | TextFlag::Top;
        break;
    case CaptionPosition::TopRight:
        align = TextFlag::Right | TextFlag::Top;
        break;
    case CaptionPosition::MiddleLeft:
        align = TextFlag::Left | TextFlag::VCenter;
        text.Left -= (m_cornerWidth - m_borderWidth) / 2;
        break;
    case CaptionPosition::MiddleCenter:
        align = TextFlag::Center | TextFlag::VCenter;
        break;
    case CaptionPosition::MiddleRight:
        align = TextFlag::Right | TextFlag::VCenter;
        text.Right += (m_cornerWidth - m_borderWidth) / 2;
        break;
    case CaptionPosition::BottomLeft:
        align = TextFlag::Left | TextFlag::Bottom;
        break;
    case CaptionPosition::BottomCenter:
        align = TextFlag::Center | TextFlag::Bottom;
        break;
    case CaptionPosition::BottomRight:
        align = TextFlag::Right | TextFlag::Bottom;
        break;
    }
    // Accelerator prefixes are processed: an ampersand underlines the next character.
    const TextFlags format = align | TextFlag::SingleLine | TextFlag::EndEllipsis;

    if (m_captionPosition == CaptionPosition::GroupBox) {
        const QFontMetrics metrics(font());
        const int th = metrics.height();
        const int textWidth = metrics.size(Qt::TextShowMnemonic | Qt::TextSingleLine, Caption()).width();
        fillRect(image, {0, 0, text.Right, th / 2}, m_outerColor);
        fillRect(image, {text.Left, th / 2, text.Left + textWidth, th / 2 + std::min(m_borderWidth, th / 2)},
                 m_outerColor);
    }
    QImage target = image.asQImage();
    QPainter painter(&target);
    drawCaption(painter, Caption(), font(), FontColor(), m_textShadowColor, TextShadow(), format, text,
                isEnabled());
    painter.end();
    return image;
}

void GradientPanel::ParentColorChanged()
{
    if (ParentColor()) {
        if (auto* parent = dynamic_cast<GradientControl*>(parentWidget()))
            SetOuterColor(parent->color());
    }
    GradientControl::ParentColorChanged();
}

void GradientPanel::Resized()
{
    GradientControl::Resized();
    if (m_background.width() != width() || m_background.height() != height())
        RebuildImages();
}

void GradientPanel::ColorChanged()
{
    RebuildImages();
}

void GradientPanel::paintEvent(QPaintEvent*)
{
    Image24 image = RenderPanel();
    QPainter painter(this);
    painter.fillRect(rect(), toQColor(m_outerColor));
    painter.drawImage(0, 0, image.asQImage());
}

void GradientPanel::changeEvent(QEvent* event)
{
    // The group-box frame and client area follow the caption font's height.
    if (event->type() == QEvent::FontChange && m_captionPosition == CaptionPosition::GroupBox) {
        UpdateClientArea();
        RebuildImages();
    }
    GradientControl::changeEvent(event);
}

} // namespace stowmere::controls
