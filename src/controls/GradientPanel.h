// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "controls/GradientControl.h"
#include "controls/Image24.h"

namespace stowmere::controls {

/// A panel that frames and backs other controls: a rounded frame, anti-aliased by 3x
/// supersampling or filled with a gradient, around a face in Color, with a caption in
/// one of ten positions (CaptionPosition::GroupBox interrupts the frame line). The background is built
/// once per change into backgroundImage; a repaint only copies it and draws the caption.
/// Child widgets laid out in the panel sit inside its client area (contentsRect).
class GradientPanel : public GradientControl {
    Q_OBJECT

public:
    explicit GradientPanel(QWidget* parent = nullptr);

    CaptionPosition captionPosition() const { return m_captionPosition; }
    void setCaptionPosition(CaptionPosition value);
    int cornerWidth() const { return m_cornerWidth; }
    /// Negative values are ignored.
    void setCornerWidth(int value);
    int borderWidth() const { return m_borderWidth; }
    /// Values of 0 or less are ignored.
    void setBorderWidth(int value);
    Color borderColor() const { return m_borderColor; }
    void setBorderColor(Color value);
    Color outerColor() const { return m_outerColor; }
    void setOuterColor(Color value);
    Color textShadowColor() const { return m_textShadowColor; }
    void setTextShadowColor(Color value);
    bool isAntialiased() const { return m_antialiased; }
    /// True also clears Gradient: the supersampled frame has a plain face.
    void setAntialiased(bool value);
    bool gradient() const { return m_gradient; }
    /// Stays False while Antialiased is True.
    void setGradient(bool value);
    Color defaultFrom() const { return m_defaultFrom; }
    void setDefaultFrom(Color value);
    Color defaultTo() const { return m_defaultTo; }
    void setDefaultTo(Color value);
    GradientType gradientType() const { return m_gradientType; }
    void setGradientType(GradientType value);

    const Image24& backgroundImage() const { return m_background; }

    /// Rebuilds backgroundImage and repaints.
    void rebuildImages() override;

    /// Where aligned children go: inset by borderWidth + 1, or below the caption of a group box.
    QRect clientArea() const { return contentsRect(); }

    /// The panel as painted now, without its children: background and caption.
    Image24 renderPanel();

protected:
    void parentColorChanged() override;
    void resized() override;
    void colorChanged() override;

    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    template <typename T> void storeAndRebuild(T& field, T value);
    int captionHeight() const;
    void updateClientArea();

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
