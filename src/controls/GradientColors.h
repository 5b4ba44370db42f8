// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "controls/Color.h"

namespace stowmere::controls {

/// The From and To colours of a control's default and hover gradients: a plain value,
/// copied and compared as a whole. A control is told of a new set through its SetColors.
class GradientColors {
public:
    Color DefaultFrom() const { return m_defaultFrom; }
    void SetDefaultFrom(Color value) { m_defaultFrom = value; }
    Color DefaultTo() const { return m_defaultTo; }
    void SetDefaultTo(Color value) { m_defaultTo = value; }
    Color OverFrom() const { return m_overFrom; }
    void SetOverFrom(Color value) { m_overFrom = value; }
    Color OverTo() const { return m_overTo; }
    void SetOverTo(Color value) { m_overTo = value; }

    bool operator==(const GradientColors&) const = default;

protected:
    Color m_defaultFrom = Color::rgb(255, 255, 255);
    Color m_defaultTo = Color::rgb(175, 190, 209);
    Color m_overFrom = Color::rgb(255, 255, 255);
    Color m_overTo = Color::rgb(118, 148, 190);
};

} // namespace stowmere::controls
