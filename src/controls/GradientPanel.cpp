// SPDX-License-Identifier: GPL-3.0-or-later
#include "controls/GradientPanel.h"

#include <QEvent>
#include <QFontMetrics>
#include <QPainter>

#include <algorithm>

namespace stowmere::controls {

GradientPanel::GradientPanel(QWidget* parent) : GradientControl(parent)
{
    setAcceptsDoubleClicks(true);
    setColor(Color::rgb(223, 223, 227));
    setFontColor(Color::rgb(0, 0, 206));
    resize(185, 105);
    m_background.resize(185, 105);
    m_constructed = true;
    updateClientArea();
    rebuildImages();
}

template <typename T> void GradientPanel::storeAndRebuild(T& field, T value)
{
    if (field == value)
        return;
    field = value;
    rebuildImages();
}

void GradientPanel::setCaptionPosition(CaptionPosition value)
{
    if (value == m_captionPosition)
        return;
    const bool groupBoxChanged =
        (value == CaptionPosition::GroupBox) != (m_captionPosition == CaptionPosition::GroupBox);
    m_captionPosition = value;
    updateClientArea();
    if (groupBoxChanged)
        rebuildImages();
    else
        update();
}

void GradientPanel::setCornerWidth(int value)
{
    if (value < 0)
        return;
    storeAndRebuild(m_cornerWidth, value);
}

void GradientPanel::setBorderWidth(int value)
{
    if (value <= 0 || value == m_borderWidth)
        return;
    m_borderWidth = value;
    updateClientArea();
    rebuildImages();
}

void GradientPanel::setBorderColor(Color value)
{
    storeAndRebuild(m_borderColor, value);
}

void GradientPanel::setOuterColor(Color value)
{
    storeAndRebuild(m_outerColor, value);
}

void GradientPanel::setTextShadowColor(Color value)
{
    if (value == m_textShadowColor)
        return;
    m_textShadowColor = value;
    update();
}

void GradientPanel::setAntialiased(bool value)
{
    if (value == m_antialiased)
        return;
    m_antialiased = value;
    if (value)
        m_gradient = false;
    rebuildImages();
}

void GradientPanel::setGradient(bool value)
{
    if (value == m_gradient || (value && m_antialiased))
        return;
    m_gradient = value;
    rebuildImages();
}

void GradientPanel::setDefaultFrom(Color value)
{
    storeAndRebuild(m_defaultFrom, value);
}

void GradientPanel::setDefaultTo(Color value)
{
    storeAndRebuild(m_defaultTo, value);
}

void GradientPanel::setGradientType(GradientType value)
{
    storeAndRebuild(m_gradientType, value);
}

int GradientPanel::captionHeight() const
{
    return QFontMetrics(font()).height();
}

void GradientPanel::updateClientArea()
{
    const int inset = m_borderWidth + 1;
    if (m_captionPosition == CaptionPosition::GroupBox)
        setContentsMargins(inset, 2 * (captionHeight() / 2) + 1, inset, 3);
    else
        setContentsMargins(inset, inset, inset, inset);
}

void GradientPanel::rebuildImages()
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
    const int top = m_captionPosition == CaptionPosition::GroupBox ? (s * captionHeight()) / 2 + i : i;
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

Image24 GradientPanel::renderPanel()
{
    // A hidden widget is resized without a resize event; its first paint is that trigger.
    if (m_background.width() != width() || m_background.height() != height())
        rebuildImages();
    Image24 image = m_background;
    if (!showCaption() || caption().isEmpty() || image.isEmpty())
        return image;

    const int w = width();
    const int h = height();
    const int k = (m_cornerWidth + m_borderWidth) / 2;
    Rect text{k, m_borderWidth, w - k, h - m_borderWidth};
    TextFlags align = TextFlag::Left | TextFlag::Top;
    switch (m_captionPosition) {
    case CaptionPosition::GroupBox:
        text.top = 0;
        if (m_cornerWidth + m_borderWidth < 2)
            text.left += 5;
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
        text.left -= (m_cornerWidth - m_borderWidth) / 2;
        break;
    case CaptionPosition::MiddleCenter:
        align = TextFlag::Center | TextFlag::VCenter;
        break;
    case CaptionPosition::MiddleRight:
        align = TextFlag::Right | TextFlag::VCenter;
        text.right += (m_cornerWidth - m_borderWidth) / 2;
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
        const int textWidth = metrics.size(Qt::TextShowMnemonic | Qt::TextSingleLine, caption()).width();
        fillRect(image, {0, 0, text.right, th / 2}, m_outerColor);
        fillRect(image, {text.left, th / 2, text.left + textWidth, th / 2 + std::min(m_borderWidth, th / 2)},
                 m_outerColor);
    }
    QImage target = image.asQImage();
    QPainter painter(&target);
    drawCaption(painter, caption(), font(), fontColor(), m_textShadowColor, textShadow(), format, text,
                isEnabled());
    painter.end();
    return image;
}

void GradientPanel::parentColorChanged()
{
    if (parentColor()) {
        if (auto* parent = dynamic_cast<GradientControl*>(parentWidget()))
            setOuterColor(parent->color());
    }
    GradientControl::parentColorChanged();
}

void GradientPanel::resized()
{
    GradientControl::resized();
    if (m_background.width() != width() || m_background.height() != height())
        rebuildImages();
}

void GradientPanel::colorChanged()
{
    rebuildImages();
}

void GradientPanel::paintEvent(QPaintEvent*)
{
    Image24 image = renderPanel();
    QPainter painter(this);
    painter.fillRect(rect(), toQColor(m_outerColor));
    painter.drawImage(0, 0, image.asQImage());
}

void GradientPanel::changeEvent(QEvent* event)
{
    // The group-box frame and client area follow the caption font's height.
    if (event->type() == QEvent::FontChange && m_captionPosition == CaptionPosition::GroupBox) {
        updateClientArea();
        rebuildImages();
    }
    GradientControl::changeEvent(event);
}

} // namespace stowmere::controls
