// SPDX-License-Identifier: GPL-3.0-or-later
#include "controls/GradientCheckBox.h"

#include "controls/CheckImages.h"

#include <QPainter>

#include <algorithm>

namespace stowmere::controls {

namespace {

constexpr int kBox = 13;

} // namespace

GradientCheckBox::GradientCheckBox(QWidget* parent) : GradientControl(parent)
{
    resize(130, 17);
    RebuildImages();
}

void GradientCheckBox::setBorderLines(BorderLines value)
{
    if (value == m_borderLines)
        return;
    m_borderLines = value;
    update();
}

void GradientCheckBox::SetBorderLinesColor(Color value)
{
    if (value == m_borderLinesColor)
        return;
    m_borderLinesColor = value;
    update();
}

void GradientCheckBox::SetHotTrack(bool value)
{
    if (value == m_hotTrack)
        return;
    m_hotTrack = value;
    update();
}

void GradientCheckBox::SetColors(const ControlColors& value)
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

void GradientCheckBox::SetSpacing(int value)
{
    if (value == m_spacing)
        return;
    m_spacing = value;
    update();
}

void GradientCheckBox::SetChecked(bool value)
{
    if (value == m_checked)
        return;
    m_checked = value;
    update();
    emit toggled(value);
}

void GradientCheckBox::SetShowFocusRect(bool value)
{
    if (value == m_showFocusRect)
        return;
    m_showFocusRect = value;
    update();
}

void GradientCheckBox::SetCheckColor(Color value)
{
    if (value == m_checkColor)
        return;
    m_checkColor = value;
    update();
}

void GradientCheckBox::Click()
{
    SetChecked(!m_checked);
    GradientControl::Click();
}

void GradientCheckBox::RebuildImages()
{
    const Rect whole{0, 0, kBox, kBox};
    fillGradient(m_defaultImage, whole, m_colors.DefaultFrom(), m_colors.DefaultTo(),
                 GradientType::FromTopLeft);
    frameRect(m_defaultImage, whole, m_colors.BorderColor());
    fillGradient(m_overImage, whole, m_colors.OverFrom(), m_colors.OverTo(), GradientType::FromTopLeft);
    frameRect(m_overImage, whole, m_colors.BorderColor());
    fillGradient(m_clickedImage, whole, m_colors.ClickedFrom(), m_colors.ClickedTo(),
                 GradientType::FromTopLeft);
    update();
}

Image24 GradientCheckBox::RenderFace()
{
    const int w = width();
    const int h = height();
    Image24 work(w, h);
    if (work.isEmpty())
        return work;
    work.fill(color());
    const int t = (h - kBox) / 4;
    const Rect box{1, t, 1 + kBox, t + kBox};
    composeLayers(work, m_defaultImage, m_overImage, HoverLevel(), box, 0);
    if (PressLevel() > 0) {
        // The outline, and with GradientBorder one more ring, keep the default or hover look.
        const int d = m_gradientBorder ? 2 : 1;
        blendImage(work, m_clickedImage, box.inflated(-d, -d), PressLevel());
    }
    if (m_checked) {
        Image24 mark = loadCheckMark();
        tintImage(mark, isEnabled() ? m_checkColor : Color::rgb(128, 128, 128));
        drawTransparent(work, mark, box.Left + 2, box.Top + 2);
    }

    // The composed image goes to (1, t) of the control, over its background in Color:
    // on screen the box lies at (2, 2t).
    Image24 face(w, h);
    face.fill(color());
    const Rect target = Rect{1, t, 1 + w, t + h}.intersected({0, 0, w, h});
    for (int y = target.Top; y < target.Bottom; ++y)
        std::copy_n(work.row(y - t), static_cast<std::size_t>(target.width()) * 3,
                    face.pixelBytes(target.Left, y));

    const Rect client{0, 0, w, h};
    const Rect caption{m_spacing + 16, 0, w, h};
    const Color fontColor = m_hotTrack && Hover() ? m_colors.HotTrack() : FontColor();
    if (ShowCaption()) {
        QImage image = face.asQImage();
        QPainter painter(&image);
        drawCaption(painter, Caption(), font(), fontColor, m_colors.TextShadow(), TextShadow(),
                    captionFormat(0, false), caption, isEnabled());
    }
    if (m_borderLines.Contains(BorderLine::Top))
        fillRect(face, {client.Left, client.Top, client.Right, client.Top + 1}, m_borderLinesColor);
    if (m_borderLines.Contains(BorderLine::Bottom))
        fillRect(face, {client.Left, client.Bottom - 1, client.Right, client.Bottom}, m_borderLinesColor);
    if (m_borderLines.Contains(BorderLine::Left))
        fillRect(face, {client.Left, client.Top, client.Left + 1, client.Bottom}, m_borderLinesColor);
    if (m_borderLines.Contains(BorderLine::Right))
        fillRect(face, {client.Right - 1, client.Top, client.Right, client.Bottom}, m_borderLinesColor);
    if (hasFocus() && m_showFocusRect)
        drawFocusRect(face, client);
    return face;
}

void GradientCheckBox::FocusChanged()
{
    update();
}

void GradientCheckBox::LeftButtonDown()
{
    GradientControl::LeftButtonDown();
    SetPressed(true);
    UseFadeInStep();
    startFade(*this);
}

void GradientCheckBox::LeftButtonUp()
{
    GradientControl::LeftButtonUp();
    if (!Pressed())
        return;
    SetPressed(false);
    UseFadeInStep();
    startFade(*this);
}

void GradientCheckBox::MouseEntered()
{
    GradientControl::MouseEntered();
    SetHover(true);
    UseFadeInStep();
    startFade(*this);
}

void GradientCheckBox::MouseLeft()
{
    GradientControl::MouseLeft();
    SetHover(false);
    SetPressed(false);
    UseFadeOutStep();
    startFade(*this);
}

void GradientCheckBox::Resized()
{
    GradientControl::Resized();
    update();
}

void GradientCheckBox::paintEvent(QPaintEvent*)
{
    Image24 face = RenderFace();
    QPainter painter(this);
    painter.drawImage(0, 0, face.asQImage());
}

} // namespace stowmere::controls
