// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "controls/GradientColors.h"

namespace stowmere::controls {

/// The colour set of a button or check box. Assigning a plain set to its
/// GradientColors part copies only the four gradient colours.
class ControlColors : public GradientColors {
public:
    Color clickedFrom() const { return m_clickedFrom; }
    void setClickedFrom(Color value) { m_clickedFrom = value; }
    Color clickedTo() const { return m_clickedTo; }
    void setClickedTo(Color value) { m_clickedTo = value; }
    Color hotTrack() const { return m_hotTrack; }
    void setHotTrack(Color value) { m_hotTrack = value; }
    Color borderColor() const { return m_borderColor; }
    void setBorderColor(Color value) { m_borderColor = value; }
    Color textShadow() const { return m_textShadow; }
    void setTextShadow(Color value) { m_textShadow = value; }

    bool operator==(const ControlColors&) const = default;

    /// Whether the two sets differ in a colour that is baked into a control's cached
    /// images (gradients and border); the hot-track and text-shadow colours are applied
    /// when painting.
    bool imagesDiffer(const ControlColors& other) const;

private:
    Color m_clickedFrom = Color::rgb(214, 207, 198);
    Color m_clickedTo = Color::rgb(247, 243, 235);
    Color m_hotTrack = Color::rgb(0, 0, 255);
    Color m_borderColor = Color::rgb(128, 128, 128);
    Color m_textShadow = Color::rgb(255, 255, 255);
};

} // namespace stowmere::controls
