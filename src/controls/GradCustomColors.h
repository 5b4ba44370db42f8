// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "controls/Persistent.h"
#include "controls/TColor.h"

/// The From and To colours of a control's default and hover gradients.
class TGradCustomColors : public TPersistent {
public:
    TGradCustomColors() = default;

    TColor DefaultFrom() const { return m_defaultFrom; }
    void SetDefaultFrom(TColor value) { Store(m_defaultFrom, value, true); }
    TColor DefaultTo() const { return m_defaultTo; }
    void SetDefaultTo(TColor value) { Store(m_defaultTo, value, true); }
    TColor OverFrom() const { return m_overFrom; }
    void SetOverFrom(TColor value) { Store(m_overFrom, value, true); }
    TColor OverTo() const { return m_overTo; }
    void SetOverTo(TColor value) { Store(m_overTo, value, true); }

    /// Copies the four colours from any colour set, field by field, telling no owner.
    void Assign(const TPersistent& source) override;
    std::string ClassName() const override { return "TGradCustomColors"; }

protected:
    /// Stores a new value and tells the owner; rebuild when the colour is baked into
    /// cached images, otherwise a repaint is enough. Equal values are ignored.
    void Store(TColor& field, TColor value, bool rebuild);
    /// Tells the owner of a change; sets without an owner tell nobody.
    virtual void Changed(bool rebuild);

    TColor m_defaultFrom = 0xFFFFFF;
    TColor m_defaultTo = 0xD1BEAF;
    TColor m_overFrom = 0xFFFFFF;
    TColor m_overTo = 0xBE9476;
};
