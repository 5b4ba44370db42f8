// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "controls/GradientControl.h"
#include "controls/Image24.h"

namespace stowmere::controls {

/// A panel that frames and backs other controls: a rounded frame, anti-aliased by 3x
/// supersampling or filled with a gradient, around a face in Color, with a caption in
/// one of ten positions (CaptionPosition::GroupBox interrupts the frame line). The background is built
/// once per change into BackgroundImage; a repaint only copies it and draws the caption.
/// Child widgets laid out in the panel sit inside its client area (contentsRect).
class GradientPanel : public GradientControl {
    Q_OBJECT

public:
    explicit GradientPanel(QWidget* parent = nullptr);

    CaptionPosition captionPosition() const { return m_captionPosition; }
    void setCaptionPosition(CaptionPosition value);
    int CornerWidth() const { return m_cornerWidth; }
    /// Negative values are ignored.
    void SetCornerWidth(int value);
    int BorderWidth() const { return m_borderWidth; }
    /// Values of 0 or less are ignored.
    void SetBorderWidth(int value);
    Color BorderColor() const { return m_borderColor; }
    void SetBorderColor(Color value);
    Color OuterColor() const { return m_outerColor; }
    void SetOuterColor(Color value);
    Color TextShadowColor() const { return m_textShadowColor; }
    void SetTextShadowColor(Color value);
    bool Antialiased() const { return m_antialiased; }
    /// True also clears Gradient: the supersampled frame has a plain face.
    void SetAntialiased(bool value);
    bool Gradient() const { return m_gradient; }
    /// Stays False while Antialiased is True.
    void SetGradient(bool value);
    Color DefaultFrom() const { return m_defaultFrom; }
    void SetDefaultFrom(Color value);
    Color DefaultTo() const { return m_defaultTo; }
    void SetDefaultTo(Color value);
    GradientType gradientType() const { return m_gradientType; }
    void setGradientType(GradientType value);

    const Image24& BackgroundImage() const { return m_background; }

    /// Rebuilds BackgroundImage and repaints.
    void RebuildImages() override;

    /// Where aligned children go: inset by BorderWidth + 1, or below the caption of a group box.
    QRect ClientArea() const { return contentsRect(); }

    /// The panel as painted now, without its children: background and caption.
    Image24 RenderPanel();

protected:
    void ParentColorChanged() override;
    void Resized() override;
    void ColorChanged() override;

    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    template <typename T> void StoreAndRebuild(T& field, T value);
    int CaptionHeight() const;
    void UpdateClientArea();

    CaptionPosition m_captionPosition = CaptionPosition::TopLeft;
    int m_cornerWidth = 10;
    int m_borderWidth = 2;
    Color m_borderColor = Color::rgb(128, 128, 128);
    Color m_outerColor = colors::ButtonFace;
    Color m_textShadowColor = Color::rgb(255, 255, 255);
    bool m_antialiased = true;
    bool m_gradient = false;
    Color m_defaultFrom = Color::rgb(255, 255, 255);
    Color m_defaultTo = Color::rgb(223, 223, 227);
    GradientType m_gradientType = GradientType::Vertical;
    Image24 m_background;
    bool m_constructed = false;
};

} // namespace stowmere::controls
