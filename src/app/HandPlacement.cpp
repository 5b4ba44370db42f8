// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/HandPlacement.h"

#include <QStyle>

#include <algorithm>

namespace stowmere::app {
namespace {

void show(QWidget& control, const QRect& logical)
{
    const QWidget* parent = control.parentWidget();
    control.setGeometry(
        parent == nullptr ? logical : QStyle::visualRect(control.layoutDirection(), parent->rect(), logical));
}

} // namespace

void HandPlacement::place(QWidget* control, const QRect& logical)
{
    const auto found = std::find_if(m_places.begin(), m_places.end(),
                                    [control](const auto& place) { return place.first == control; });
    if (found == m_places.end())
        m_places.emplace_back(control, logical);
    else
        found->second = logical;
    show(*control, logical);
}

void HandPlacement::moveLeft(QWidget* control, int logicalLeft)
{
    QRect moved = logical(control);
    moved.moveLeft(logicalLeft);
    place(control, moved);
}

QRect HandPlacement::logical(const QWidget* control) const
{
    for (const auto& [placed, geometry] : m_places) {
        if (placed == control)
            return geometry;
    }
    return control->geometry();
}

void HandPlacement::apply() const
{
    for (const auto& [control, geometry] : m_places) {
        if (control)
            show(*control, geometry);
    }
}

} // namespace stowmere::app
