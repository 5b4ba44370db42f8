// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "controls/Color.h"

namespace stowmere::controls {

/// The From and To colours of a control's default and hover gradients: a plain value,
/// copied and compared as a whole. A control is told of a new set through its setColors.
class GradientColors {
public:
    Color defaultFrom() const { return m_defaultFrom; }
    void setDefaultFrom(Color value) { m_defaultFrom = value; }
    Color defaultTo() const { return m_defaultTo; }
    void setDefaultTo(Color value) { m_defaultTo = value; }
    Color overFrom() const { return m_overFrom; }
    void setOverFrom(Color value) { m_overFrom = value; }
    Color overTo() const { return m_overTo; }
    void setOverTo(Color value) { m_overTo = value; }

    bool operator==(const GradientColors&) const = default;

protected:
    Color m_defaultFrom = Color::rgb(255, 255, 255);
    Color m_defaultTo = Color::rgb(175, 190, 209);
    Color m_overFrom = Color::rgb(255, 255, 255);
    Color m_overTo = Color::rgb(118, 148, 190);
};

} // namespace stowmere::controls
