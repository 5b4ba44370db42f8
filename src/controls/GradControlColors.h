// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "controls/GradCustomColors.h"

class TGradCustomControl;

/// The colour set of a button or check box. Gradient and border colours are baked
/// into the owner's cached images, so changing one rebuilds them; the hot-track and
/// text-shadow colours are applied at paint time and only repaint.
class TGradControlColors : public TGradCustomColors {
public:
    explicit TGradControlColors(TGradCustomControl* owner = nullptr);

    TGradCustomControl* Owner() const { return m_owner; }

    TColor ClickedFrom() const { return m_clickedFrom; }
    void SetClickedFrom(TColor value) { Store(m_clickedFrom, value, true); }
    TColor ClickedTo() const { return m_clickedTo; }
    void SetClickedTo(TColor value) { Store(m_clickedTo, value, true); }
    TColor HotTrack() const { return m_hotTrack; }
    void SetHotTrack(TColor value) { Store(m_hotTrack, value, false); }
    TColor BorderColor() const { return m_borderColor; }
    void SetBorderColor(TColor value) { Store(m_borderColor, value, true); }
    TColor TextShadow() const { return m_textShadow; }
    void SetTextShadow(TColor value) { Store(m_textShadow, value, false); }

    /// Copies all nine colours from another control set, the four shared ones from any
    /// other colour set; the owner is not told.
    void Assign(const TPersistent& source) override;
    std::string ClassName() const override { return "TGradControlColors"; }

protected:
    void Changed(bool rebuild) override;

private:
    TGradCustomControl* m_owner;
    TColor m_clickedFrom = 0xC6CFD6;
    TColor m_clickedTo = 0xEBF3F7;
    TColor m_hotTrack = 0xFF0000;
    TColor m_borderColor = 0x808080;
    TColor m_textShadow = 0xFFFFFF;
};
