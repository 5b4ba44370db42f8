// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "controls/TColor.h"

namespace stowmere::controls {

/// The From and To colours of a control's default and hover gradients: a plain value,
/// copied and compared as a whole. A control is told of a new set through its SetColors.
class TGradCustomColors {
public:
    TColor DefaultFrom() const { return m_defaultFrom; }
    void SetDefaultFrom(TColor value) { m_defaultFrom = value; }
    TColor DefaultTo() const { return m_defaultTo; }
    void SetDefaultTo(TColor value) { m_defaultTo = value; }
    TColor OverFrom() const { return m_overFrom; }
    void SetOverFrom(TColor value) { m_overFrom = value; }
    TColor OverTo() const { return m_overTo; }
    void SetOverTo(TColor value) { m_overTo = value; }

    bool operator==(const TGradCustomColors&) const = default;

protected:
    TColor m_defaultFrom = TColor::rgb(255, 255, 255);
    TColor m_defaultTo = TColor::rgb(175, 190, 209);
    TColor m_overFrom = TColor::rgb(255, 255, 255);
    TColor m_overTo = TColor::rgb(118, 148, 190);
};

} // namespace stowmere::controls
