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

    const ControlColors& colors() const { return m_colors; }
    void setColors(const ControlColors& value) { m_colors = value; }
    const SplitterColors& splitterColors() const { return m_splitterColors; }
    void setSplitterColors(const SplitterColors& value) { m_splitterColors = value; }

    bool showFocusRect() const { return m_showFocusRect; }
    void setShowFocusRect(bool value) { m_showFocusRect = value; }
    bool hotTrack() const { return m_hotTrack; }
    void setHotTrack(bool value) { m_hotTrack = value; }
    bool gradientBorder() const { return m_gradientBorder; }
    void setGradientBorder(bool value) { m_gradientBorder = value; }
    bool textShadow() const { return m_textShadow; }
    void setTextShadow(bool value) { m_textShadow = value; }
    Color checkColor() const { return m_checkColor; }
    void setCheckColor(Color value) { m_checkColor = value; }
    FadeSpeed fadeSpeed() const { return m_fadeSpeed; }
    void setFadeSpeed(FadeSpeed value) { m_fadeSpeed = value; }
    Color panelColor() const { return m_panelColor; }
    void setPanelColor(Color value) { m_panelColor = value; }
    Color borderColor() const { return m_borderColor; }
    void setBorderColor(Color value) { m_borderColor = value; }
    const QFont& captionFont() const { return m_font; }
    void setCaptionFont(const QFont& value) { m_font = value; }

    /// Copies every setting of another manager; the linked controls stay as they are.
    void copySettings(const StyleManager& source);

    const std::vector<GradientControl*>& linkedControls() const { return m_controls; }
    /// Adds a control unless it is listed already.
    void addControl(GradientControl* control);
    void removeControl(GradientControl* control);
    bool isDestroying() const { return m_destroying; }

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
