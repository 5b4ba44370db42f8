// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "controls/TGradCustomColors.h"

namespace stowmere::controls {

/// The colour set of a button or check box. Assigning a plain set to its
/// TGradCustomColors part copies only the four gradient colours.
class TGradControlColors : public TGradCustomColors {
public:
    TColor ClickedFrom() const { return m_clickedFrom; }
    void SetClickedFrom(TColor value) { m_clickedFrom = value; }
    TColor ClickedTo() const { return m_clickedTo; }
    void SetClickedTo(TColor value) { m_clickedTo = value; }
    TColor HotTrack() const { return m_hotTrack; }
    void SetHotTrack(TColor value) { m_hotTrack = value; }
    TColor BorderColor() const { return m_borderColor; }
    void SetBorderColor(TColor value) { m_borderColor = value; }
    TColor TextShadow() const { return m_textShadow; }
    void SetTextShadow(TColor value) { m_textShadow = value; }

    bool operator==(const TGradControlColors&) const = default;

    /// Whether the two sets differ in a colour that is baked into a control's cached
    /// images (gradients and border); the hot-track and text-shadow colours are applied
    /// when painting.
    bool ImagesDiffer(const TGradControlColors& other) const;

private:
    TColor m_clickedFrom = TColor::rgb(214, 207, 198);
    TColor m_clickedTo = TColor::rgb(247, 243, 235);
    TColor m_hotTrack = TColor::rgb(0, 0, 255);
    TColor m_borderColor = TColor::rgb(128, 128, 128);
    TColor m_textShadow = TColor::rgb(255, 255, 255);
};

} // namespace stowmere::controls
