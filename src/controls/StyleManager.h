// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "controls/ControlColors.h"
#include "controls/GradDrawCore.h"
#include "controls/SplitterColors.h"

#include <QFont>
#include <QObject>

#include <vector>

namespace stowmere::controls {

class GradientControl;

/// Shared style defaults and the list of controls linked to them. Settings are only
/// stored: nothing is pushed to the linked controls.
class StyleManager : public QObject {
public:
    explicit StyleManager(QObject* parent = nullptr);
    ~StyleManager() override;

    const ControlColors& Colors() const { return m_colors; }
    void SetColors(const ControlColors& value) { m_colors = value; }
    const SplitterColors& splitterColors() const { return m_splitterColors; }
    void setSplitterColors(const SplitterColors& value) { m_splitterColors = value; }

    bool ShowFocusRect() const { return m_showFocusRect; }
    void SetShowFocusRect(bool value) { m_showFocusRect = value; }
    bool HotTrack() const { return m_hotTrack; }
    void SetHotTrack(bool value) { m_hotTrack = value; }
    bool GradientBorder() const { return m_gradientBorder; }
    void SetGradientBorder(bool value) { m_gradientBorder = value; }
    bool TextShadow() const { return m_textShadow; }
    void SetTextShadow(bool value) { m_textShadow = value; }
    Color CheckColor() const { return m_checkColor; }
    void SetCheckColor(Color value) { m_checkColor = value; }
    FadeSpeed fadeSpeed() const { return m_fadeSpeed; }
    void setFadeSpeed(FadeSpeed value) { m_fadeSpeed = value; }
    Color PanelColor() const { return m_panelColor; }
    void SetPanelColor(Color value) { m_panelColor = value; }
    Color BorderColor() const { return m_borderColor; }
    void SetBorderColor(Color value) { m_borderColor = value; }
    const QFont& Font() const { return m_font; }
    void SetFont(const QFont& value) { m_font = value; }

    /// Copies every setting of another manager; the linked controls stay as they are.
    void CopySettings(const StyleManager& source);

    const std::vector<GradientControl*>& LinkedControls() const { return m_controls; }
    /// Adds a control unless it is listed already.
    void AddControl(GradientControl* control);
    void RemoveControl(GradientControl* control);
    bool IsDestroying() const { return m_destroying; }

private:
    ControlColors m_colors;
    SplitterColors m_splitterColors;
    bool m_showFocusRect = true;
    bool m_hotTrack = false;
    bool m_gradientBorder = true;
    bool m_textShadow = true;
    Color m_checkColor = Color::rgb(0, 128, 0);
    FadeSpeed m_fadeSpeed = FadeSpeed::Medium;
    Color m_panelColor = Color::rgb(223, 223, 227);
    Color m_borderColor = Color::rgb(128, 128, 128);
    QFont m_font;
    std::vector<GradientControl*> m_controls;
    bool m_destroying = false;
};

} // namespace stowmere::controls
