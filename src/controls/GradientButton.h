// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "controls/ControlColors.h"
#include "controls/GradientControl.h"
#include "controls/Image24.h"

#include <QImage>
#include <QPointer>

namespace stowmere::controls {

enum class ButtonLayout { GlyphLeft, GlyphRight, GlyphTop, GlyphBottom };

/// The push button of every window: a face composed from three cached gradient images
/// (default, hover, clicked) that fades towards the hover look under the pointer and
/// switches to the clicked look while pressed, inside a rounded one-colour border, with
/// an optional glyph and the dialog-button keys (Enter, Escape, space bar). Buttons with
/// a groupIndex latch down like radio buttons of their parent.
class GradientButton : public GradientControl {
    Q_OBJECT

public:
    explicit GradientButton(QWidget* parent = nullptr);
    ~GradientButton() override;

    int modalResult() const { return m_modalResult; }
    void setModalResult(int value) { m_modalResult = value; }
    /// An empty image means no glyph. The colour of its bottom-left pixel is transparent.
    const QImage& glyph() const { return m_glyph; }
    void setGlyph(const QImage& value);
    int spacing() const { return m_spacing; }
    void setSpacing(int value);
    ButtonLayout buttonLayout() const { return m_layout; }
    void setButtonLayout(ButtonLayout value);
    const ControlColors& colors() const { return m_colors; }
    /// Takes over all colours of value and rebuilds the images once.
    void setColors(const ControlColors& value);
    bool showFocusRect() const { return m_showFocusRect; }
    void setShowFocusRect(bool value);
    bool hotTrack() const { return m_hotTrack; }
    void setHotTrack(bool value);
    bool isDefault() const { return m_default; }
    void setDefault(bool value);
    bool isCancel() const { return m_cancel; }
    void setCancel(bool value);
    bool gradientBorder() const { return m_gradientBorder; }
    void setGradientBorder(bool value) { m_gradientBorder = value; }
    int groupIndex() const { return m_groupIndex; }
    void setGroupIndex(int value) { m_groupIndex = value; }
    bool allowAllUp() const { return m_allowAllUp; }
    void setAllowAllUp(bool value) { m_allowAllUp = value; }
    bool isDown() const { return m_down; }
    void setDown(bool value);
    GradientType gradientType() const { return m_gradientType; }
    void setGradientType(GradientType value);

    const Image24& defaultImage() const { return m_defaultImage; }
    const Image24& overImage() const { return m_overImage; }
    const Image24& clickedImage() const { return m_clickedImage; }

    /// Sets the window's modal result, latches or releases a group button, emits clicked.
    void click() override;
    void rebuildImages() override;

    /// The face as it is painted now: cached images composed at the current levels,
    /// frame, caption, glyph and focus rectangle.
    Image24 renderFace();

protected:
    void focusChanged() override;
    void leftButtonDown() override;
    void leftButtonUp() override;
    void pointerEntered() override;
    void pointerLeft() override;
    void resized() override;

    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void changeEvent(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool canTakeFocus() const;
    bool otherGroupButtonDown() const;
    /// Enter for a default button and Escape for a cancel button arrive at the window
    /// when another control has the focus; the button watches its window for them.
    void watchWindowKeys();
    void paintGlyph(Image24& face, const Rect& textRect, const QFont& font);

    int m_modalResult = 0;
    QImage m_glyph;
    Image24 m_glyph24;
    int m_spacing = 2;
    // The layout as drawn: a right-to-left window shows the glyph on the other side.
    ButtonLayout shownLayout() const;

    ButtonLayout m_layout = ButtonLayout::GlyphLeft;
    ControlColors m_colors;
    bool m_showFocusRect = true;
    bool m_hotTrack = false;
    bool m_default = false;
    bool m_cancel = false;
    bool m_gradientBorder = true;
    int m_groupIndex = 0;
    bool m_allowAllUp = false;
    bool m_down = false;
    GradientType m_gradientType = GradientType::Vertical;
    Image24 m_defaultImage;
    Image24 m_overImage;
    Image24 m_clickedImage;
    QPointer<QWidget> m_keyWindow;
};

} // namespace stowmere::controls
