// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "controls/GradDrawCore.h"
#include "controls/TGradControlColors.h"
#include "controls/TGradSplitterColors.h"

#include <QFont>
#include <QObject>

#include <vector>

namespace stowmere::controls {

class TGradCustomControl;

/// Shared style defaults and the list of controls linked to them. Settings are only
/// stored: nothing is pushed to the linked controls.
class TGradStyleManager : public QObject {
public:
    explicit TGradStyleManager(QObject* parent = nullptr);
    ~TGradStyleManager() override;

    const TGradControlColors& Colors() const { return m_colors; }
    void SetColors(const TGradControlColors& value) { m_colors = value; }
    const TGradSplitterColors& SplitterColors() const { return m_splitterColors; }
    void SetSplitterColors(const TGradSplitterColors& value) { m_splitterColors = value; }

    bool ShowFocusRect() const { return m_showFocusRect; }
    void SetShowFocusRect(bool value) { m_showFocusRect = value; }
    bool HotTrack() const { return m_hotTrack; }
    void SetHotTrack(bool value) { m_hotTrack = value; }
    bool GradientBorder() const { return m_gradientBorder; }
    void SetGradientBorder(bool value) { m_gradientBorder = value; }
    bool TextShadow() const { return m_textShadow; }
    void SetTextShadow(bool value) { m_textShadow = value; }
    TColor CheckColor() const { return m_checkColor; }
    void SetCheckColor(TColor value) { m_checkColor = value; }
    TFadeSpeed FadeSpeed() const { return m_fadeSpeed; }
    void SetFadeSpeed(TFadeSpeed value) { m_fadeSpeed = value; }
    TColor PanelColor() const { return m_panelColor; }
    void SetPanelColor(TColor value) { m_panelColor = value; }
    TColor BorderColor() const { return m_borderColor; }
    void SetBorderColor(TColor value) { m_borderColor = value; }
    const QFont& Font() const { return m_font; }
    void SetFont(const QFont& value) { m_font = value; }

    /// Copies every setting of another manager; the linked controls stay as they are.
    void CopySettings(const TGradStyleManager& source);

    const std::vector<TGradCustomControl*>& LinkedControls() const { return m_controls; }
    /// Adds a control unless it is listed already.
    void AddControl(TGradCustomControl* control);
    void RemoveControl(TGradCustomControl* control);
    bool IsDestroying() const { return m_destroying; }

private:
    TGradControlColors m_colors;
    TGradSplitterColors m_splitterColors;
    bool m_showFocusRect = true;
    bool m_hotTrack = false;
    bool m_gradientBorder = true;
    bool m_textShadow = true;
    TColor m_checkColor = TColor::rgb(0, 128, 0);
    TFadeSpeed m_fadeSpeed = fsMedium;
    TColor m_panelColor = TColor::rgb(223, 223, 227);
    TColor m_borderColor = TColor::rgb(128, 128, 128);
    QFont m_font;
    std::vector<TGradCustomControl*> m_controls;
    bool m_destroying = false;
};

} // namespace stowmere::controls
