// SPDX-License-Identifier: GPL-3.0-or-later
#include "controls/GradientCheckBox.h"

#include "controls/CheckImages.h"

#include <QAccessible>
#include <QKeyEvent>
#include <QPainter>

#include <algorithm>

namespace stowmere::controls {

namespace {

constexpr int kBox = 13;

// Swaps each row's pixels end for end: the face drawn for a right-to-left window.
void mirrorRows(Image24& image)
{
    for (int y = 0; y < image.height(); ++y) {
        for (int left = 0, right = image.width() - 1; left < right; ++left, --right)
            std::swap_ranges(image.pixelBytes(left, y), image.pixelBytes(left, y) + 3,
                             image.pixelBytes(right, y));
    }
}

} // namespace

GradientCheckBox::GradientCheckBox(QWidget* parent) : GradientControl(parent)
{
    resize(130, 17);
    rebuildImages();
}

void GradientCheckBox::setBorderLines(BorderLines value)
{
    if (value == m_borderLines)
        return;
    m_borderLines = value;
    update();
}

void GradientCheckBox::setBorderLinesColor(Color value)
{
    if (value == m_borderLinesColor)
        return;
    m_borderLinesColor = value;
    update();
}

void GradientCheckBox::setHotTrack(bool value)
{
    if (value == m_hotTrack)
        return;
    m_hotTrack = value;
    update();
}

void GradientCheckBox::setColors(const ControlColors& value)
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

void GradientCheckBox::setSpacing(int value)
{
    if (value == m_spacing)
        return;
    m_spacing = value;
    update();
}

void GradientCheckBox::setChecked(bool value)
{
    if (value == m_checked)
        return;
    m_checked = value;
    update();
    if (QAccessible::isActive()) {
        QAccessible::State changed;
        changed.checked = true;
        QAccessibleStateChangeEvent event(this, changed);
        QAccessible::updateAccessibility(&event);
    }
    emit toggled(value);
}

void GradientCheckBox::setShowFocusRect(bool value)
{
    if (value == m_showFocusRect)
        return;
    m_showFocusRect = value;
    update();
}

void GradientCheckBox::setCheckColor(Color value)
{
    if (value == m_checkColor)
        return;
    m_checkColor = value;
    update();
}

void GradientCheckBox::click()
{
    setChecked(!m_checked);
    GradientControl::click();
}

void GradientCheckBox::keyPressEvent(QKeyEvent* event)
{
    // The space bar toggles as a click does, so the box works without a mouse.
    const auto modifiers = Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier;
    if (event->key() == Qt::Key_Space && (event->modifiers() & modifiers) == 0 && !event->isAutoRepeat()) {
        click();
        event->accept();
        return;
    }
    GradientControl::keyPressEvent(event);
}

void GradientCheckBox::rebuildImages()
{
    const Rect whole{0, 0, kBox, kBox};
    fillGradient(m_defaultImage, whole, m_colors.defaultFrom(), m_colors.defaultTo(),
                 GradientType::FromTopLeft);
    frameRect(m_defaultImage, whole, m_colors.borderColor());
    fillGradient(m_overImage, whole, m_colors.overFrom(), m_colors.overTo(), GradientType::FromTopLeft);
    frameRect(m_overImage, whole, m_colors.borderColor());
    fillGradient(m_clickedImage, whole, m_colors.clickedFrom(), m_colors.clickedTo(),
                 GradientType::FromTopLeft);
    update();
}

Image24 GradientCheckBox::renderFace()
{
    const int w = width();
    const int h = height();
    Image24 work(w, h);
    if (work.isEmpty())
        return work;
    work.fill(color());
    const int t = (h - kBox) / 4;
    const Rect box{1, t, 1 + kBox, t + kBox};
    composeLayers(work, m_defaultImage, m_overImage, hoverLevel(), box, 0);
    if (pressLevel() > 0) {
        // The outline, and with gradientBorder one more ring, keep the default or hover look.
        const int d = m_gradientBorder ? 2 : 1;
        blendImage(work, m_clickedImage, box.inflated(-d, -d), pressLevel());
    }
    if (m_checked) {
        Image24 mark = loadCheckMark();
        tintImage(mark, isEnabled() ? m_checkColor : Color::rgb(128, 128, 128));
        drawTransparent(work, mark, box.left + 2, box.top + 2);
    }

    // The composed image goes to (1, t) of the control, over its background in Color:
    // on screen the box lies at (2, 2t).
    Image24 face(w, h);
    face.fill(color());
    const Rect target = Rect{1, t, 1 + w, t + h}.intersected({0, 0, w, h});
    for (int y = target.top; y < target.bottom; ++y)
        std::copy_n(work.row(y - t), static_cast<std::size_t>(target.width()) * 3,
                    face.pixelBytes(target.left, y));

    // A right-to-left window reads the caption first: the box goes to the right edge.
    const bool mirrored = layoutDirection() == Qt::RightToLeft;
    if (mirrored)
        mirrorRows(face);
    const Rect client{0, 0, w, h};
    const Rect captionArea = mirrored ? Rect{0, 0, w - m_spacing - 16, h} : Rect{m_spacing + 16, 0, w, h};
    const Color textColor = m_hotTrack && isHovered() ? m_colors.hotTrack() : fontColor();
    if (showCaption()) {
        QImage image = face.asQImage();
        QPainter painter(&image);
        drawCaption(painter, caption(), font(), textColor, m_colors.textShadow(), textShadow(),
                    captionFormat(mirrored ? 1 : 0, false) & ~TextFlags(TextFlag::NoPrefix), captionArea,
                    isEnabled());
    }
    if (m_borderLines.contains(BorderLine::Top))
        fillRect(face, {client.left, client.top, client.right, client.top + 1}, m_borderLinesColor);
    if (m_borderLines.contains(BorderLine::Bottom))
        fillRect(face, {client.left, client.bottom - 1, client.right, client.bottom}, m_borderLinesColor);
    if (m_borderLines.contains(BorderLine::Left))
        fillRect(face, {client.left, client.top, client.left + 1, client.bottom}, m_borderLinesColor);
    if (m_borderLines.contains(BorderLine::Right))
        fillRect(face, {client.right - 1, client.top, client.right, client.bottom}, m_borderLinesColor);
    if (hasFocus() && m_showFocusRect)
        drawFocusRect(face, client);
    return face;
}

void GradientCheckBox::focusChanged()
{
    update();
}

void GradientCheckBox::leftButtonDown()
{
    GradientControl::leftButtonDown();
    setPressed(true);
    useFadeInStep();
    startFade(*this);
}

void GradientCheckBox::leftButtonUp()
{
    GradientControl::leftButtonUp();
    if (!isPressed())
        return;
    setPressed(false);
    useFadeInStep();
    startFade(*this);
}

void GradientCheckBox::pointerEntered()
{
    GradientControl::pointerEntered();
    setHovered(true);
    useFadeInStep();
    startFade(*this);
}

void GradientCheckBox::pointerLeft()
{
    GradientControl::pointerLeft();
    setHovered(false);
    setPressed(false);
    useFadeOutStep();
    startFade(*this);
}

void GradientCheckBox::resized()
{
    GradientControl::resized();
    update();
}

void GradientCheckBox::paintEvent(QPaintEvent*)
{
    Image24 face = renderFace();
    QPainter painter(this);
    painter.drawImage(0, 0, face.asQImage());
}

} // namespace stowmere::controls
