// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "controls/ControlColors.h"
#include "controls/GradientControl.h"
#include "controls/Image24.h"

#include <initializer_list>

namespace stowmere::controls {

enum class BorderLine { Top, Bottom, Left, Right };

/// A set of BorderLine members.
class BorderLines {
public:
    constexpr BorderLines() = default;
    constexpr BorderLines(std::initializer_list<BorderLine> lines)
    {
        for (BorderLine line : lines)
            m_bits |= bit(line);
    }
    constexpr bool contains(BorderLine line) const { return (m_bits & bit(line)) != 0; }
    constexpr bool isEmpty() const { return m_bits == 0; }
    friend constexpr bool operator==(BorderLines, BorderLines) = default;

private:
    static constexpr unsigned bit(BorderLine line) { return 1u << static_cast<unsigned>(line); }
    unsigned m_bits = 0;
};

/// The check box of the program's windows: a 13 by 13 box composed from three cached
/// gradient images with hover and press fading, the check mark tinted to checkColor,
/// a caption right of the box, optional border lines and focus rectangle. A click or the
/// space bar toggles Checked and then emits clicked; setting Checked in code emits only
/// toggled.
class GradientCheckBox : public GradientControl {
    Q_OBJECT

public:
    explicit GradientCheckBox(QWidget* parent = nullptr);

    BorderLines borderLines() const { return m_borderLines; }
    void setBorderLines(BorderLines value);
    Color borderLinesColor() const { return m_borderLinesColor; }
    void setBorderLinesColor(Color value);
    bool hotTrack() const { return m_hotTrack; }
    void setHotTrack(bool value);
    const ControlColors& colors() const { return m_colors; }
    /// Takes over all colours of value and rebuilds the images once.
    void setColors(const ControlColors& value);
    int spacing() const { return m_spacing; }
    void setSpacing(int value);
    bool isChecked() const { return m_checked; }
    /// Emits toggled when the check changes; only a click emits clicked as well.
    void setChecked(bool value);
    bool showFocusRect() const { return m_showFocusRect; }
    void setShowFocusRect(bool value);
    Color checkColor() const { return m_checkColor; }
    void setCheckColor(Color value);
    bool gradientBorder() const { return m_gradientBorder; }
    void setGradientBorder(bool value) { m_gradientBorder = value; }

    const Image24& defaultImage() const { return m_defaultImage; }
    const Image24& overImage() const { return m_overImage; }
    const Image24& clickedImage() const { return m_clickedImage; }

    /// The toggle: Checked flips, then clicked is emitted.
    void click() override;
    void rebuildImages() override;

    /// The control as painted now.
    Image24 renderFace();

signals:
    void toggled(bool checked);

protected:
    void focusChanged() override;
    void leftButtonDown() override;
    void leftButtonUp() override;
    void pointerEntered() override;
    void pointerLeft() override;
    void resized() override;

    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    BorderLines m_borderLines;
    Color m_borderLinesColor = Color::rgb(128, 128, 128);
    bool m_hotTrack = false;
    ControlColors m_colors;
    int m_spacing = 3;
    bool m_checked = false;
    bool m_showFocusRect = true;
    Color m_checkColor = Color::rgb(0, 128, 0);
    bool m_gradientBorder = true;
    Image24 m_defaultImage{13, 13};
    Image24 m_overImage{13, 13};
    Image24 m_clickedImage{13, 13};
};

} // namespace stowmere::controls
