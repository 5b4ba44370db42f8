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
    FillGradient(m_defaultImage, whole, m_colors.DefaultFrom(), m_colors.DefaultTo(),
                 GradientType::FromTopLeft);
    FrameRect(m_defaultImage, whole, m_colors.BorderColor());
    FillGradient(m_overImage, whole, m_colors.OverFrom(), m_colors.OverTo(), GradientType::FromTopLeft);
    FrameRect(m_overImage, whole, m_colors.BorderColor());
    FillGradient(m_clickedImage, whole, m_colors.ClickedFrom(), m_colors.ClickedTo(),
                 GradientType::FromTopLeft);
    update();
}

Image24 GradientCheckBox::RenderFace()
{
    const int w = width();
    const int h = height();
    Image24 work(w, h);
    if (work.IsEmpty())
        return work;
    work.Fill(color());
    const int t = (h - kBox) / 4;
    const Rect box{1, t, 1 + kBox, t + kBox};
    ComposeLayers(work, m_defaultImage, m_overImage, HoverLevel(), box, 0);
    if (PressLevel() > 0) {
        // The outline, and with GradientBorder one more ring, keep the default or hover look.
        const int d = m_gradientBorder ? 2 : 1;
        BlendImage(work, m_clickedImage, box.Inflated(-d, -d), PressLevel());
    }
    if (m_checked) {
        Image24 mark = LoadCheckMark();
        TintImage(mark, isEnabled() ? m_checkColor : Color::rgb(128, 128, 128));
        DrawTransparent(work, mark, box.Left + 2, box.Top + 2);
    }

    // The composed image goes to (1, t) of the control, over its background in Color:
    // on screen the box lies at (2, 2t).
    Image24 face(w, h);
    face.Fill(color());
    const Rect target = Rect{1, t, 1 + w, t + h}.Intersected({0, 0, w, h});
    for (int y = target.Top; y < target.Bottom; ++y)
        std::copy_n(work.Row(y - t), static_cast<std::size_t>(target.Width()) * 3,
                    face.PixelBytes(target.Left, y));

    const Rect client{0, 0, w, h};
    const Rect caption{m_spacing + 16, 0, w, h};
    const Color fontColor = m_hotTrack && Hover() ? m_colors.HotTrack() : FontColor();
    if (ShowCaption()) {
        QImage image = face.AsQImage();
        QPainter painter(&image);
        DrawCaption(painter, Caption(), font(), fontColor, m_colors.TextShadow(), TextShadow(),
                    CaptionFormat(0, false), caption, isEnabled());
    }
    if (m_borderLines.Contains(BorderLine::Top))
        FillRect(face, {client.Left, client.Top, client.Right, client.Top + 1}, m_borderLinesColor);
    if (m_borderLines.Contains(BorderLine::Bottom))
        FillRect(face, {client.Left, client.Bottom - 1, client.Right, client.Bottom}, m_borderLinesColor);
    if (m_borderLines.Contains(BorderLine::Left))
        FillRect(face, {client.Left, client.Top, client.Left + 1, client.Bottom}, m_borderLinesColor);
    if (m_borderLines.Contains(BorderLine::Right))
        FillRect(face, {client.Right - 1, client.Top, client.Right, client.Bottom}, m_borderLinesColor);
    if (hasFocus() && m_showFocusRect)
        DrawFocusRect(face, client);
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
    StartFade(*this);
}

void GradientCheckBox::LeftButtonUp()
{
    GradientControl::LeftButtonUp();
    if (!Pressed())
        return;
    SetPressed(false);
    UseFadeInStep();
    StartFade(*this);
}

void GradientCheckBox::MouseEntered()
{
    GradientControl::MouseEntered();
    SetHover(true);
    UseFadeInStep();
    StartFade(*this);
}

void GradientCheckBox::MouseLeft()
{
    GradientControl::MouseLeft();
    SetHover(false);
    SetPressed(false);
    UseFadeOutStep();
    StartFade(*this);
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
    painter.drawImage(0, 0, face.AsQImage());
}

} // namespace stowmere::controls
