// SPDX-License-Identifier: GPL-3.0-or-later
#include "progress/BevelPanel.h"

#include <QPainter>

using stowmere::controls::Color;
using stowmere::controls::toQColor;
namespace colors = stowmere::controls::colors;

namespace stowmere::progress {

namespace {

// One ring of a 3-D edge: top and left in topLeft, bottom and right in bottomRight.
void ring(QPainter& p, QRect r, const QColor& topLeft, const QColor& bottomRight)
{
    p.setPen(topLeft);
    p.drawLine(r.left(), r.bottom() - 1, r.left(), r.top());
    p.drawLine(r.left(), r.top(), r.right() - 1, r.top());
    p.setPen(bottomRight);
    p.drawLine(r.right(), r.top(), r.right(), r.bottom());
    p.drawLine(r.left(), r.bottom(), r.right(), r.bottom());
}

} // namespace

BevelPanel::BevelPanel(QWidget* parent) : QWidget(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAutoFillBackground(false);
}

void BevelPanel::setColor(Color value)
{
    if (value == m_color)
        return;
    m_color = value;
    // Children that take their colour from the panel (labels, the busy picture) read the palette.
    QPalette pal = palette();
    pal.setColor(QPalette::Window, toQColor(value));
    setPalette(pal);
    update();
}

void BevelPanel::setBevelWidth(int value)
{
    if (value == m_bevelWidth || value < 0)
        return;
    m_bevelWidth = value;
    update();
}

void BevelPanel::setBorderWidth(int value)
{
    if (value == m_borderWidth || value < 0)
        return;
    m_borderWidth = value;
    update();
}

void BevelPanel::place(QWidget* child, int left, int top, int width, int height)
{
    child->setGeometry(left + EdgeWidth, top + EdgeWidth, width, height);
}

void BevelPanel::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.fillRect(rect(), toQColor(m_color));
    QRect r = rect();
    // Sunken client edge: shadow over dark shadow on the top-left, highlight over light on the bottom-right.
    ring(p, r, toQColor(colors::ButtonShadow), toQColor(colors::ButtonHighlight));
    r.adjust(1, 1, -1, -1);
    ring(p, r, toQColor(colors::DarkShadow3D), toQColor(colors::Light3D));
    r.adjust(1, 1, -1, -1);
    for (int i = 0; i < m_bevelWidth; ++i) {
        ring(p, r, toQColor(colors::ButtonHighlight), toQColor(colors::ButtonShadow));
        r.adjust(1, 1, -1, -1);
    }
}

} // namespace stowmere::progress
