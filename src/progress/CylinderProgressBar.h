// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "progress/CylColors.h"
#include "progress/CylShading.h"
#include "progress/CylTypes.h"
#include "progress/CylinderColorStyle.h"

#include <QFont>
#include <QImage>
#include <QRect>
#include <QString>
#include <QWidget>

#include <optional>

namespace stowmere::progress {

/// A progress bar drawn as a lit cylinder: the filled and the empty part are shaded
/// row by row (column by column when vertical) so the bar looks round, with an
/// optional percentage text and a frame of two bevels and a border band.
///
/// Setters ignore a value equal to the current one unless noted; every paint
/// composes the whole control in a 24-bit off-screen image and copies it once.
class CylinderProgressBar : public QWidget {
    Q_OBJECT

public:
    explicit CylinderProgressBar(QWidget* parent = nullptr);
    ~CylinderProgressBar() override;

    // Range and position.
    std::int32_t minimum() const { return m_min; }
    std::int32_t maximum() const { return m_max; }
    std::int32_t position() const { return m_position; }
    std::int32_t step() const { return m_step; }
    bool stopAtMax() const { return m_stopAtMax; }
    /// A value equal to Max becomes Max - 1; a value above Max is not stored.
    void setMin(std::int32_t value);
    /// A value equal to Min becomes Min + 1; a value below Min is not stored.
    void setMax(std::int32_t value);
    /// Clamped into Min .. Max; repaints only when the fill or the percentage moves.
    void setPosition(std::int32_t value);
    void setStep(std::int32_t value) { m_step = value; }
    void setStopAtMax(bool value) { m_stopAtMax = value; }

    // Colours. foreColor, foreLineColor, backColor and bevelColor re-derive even when unchanged.
    stowmere::controls::Color foreColor() const { return m_foreColor; }
    stowmere::controls::Color foreLineColor() const { return m_foreLineColor; }
    stowmere::controls::Color backColor() const { return m_backColor; }
    stowmere::controls::Color backBorderColor() const { return m_backBorderColor; }
    stowmere::controls::Color bevelColor() const { return m_bevelColor; }
    stowmere::controls::Color color() const { return m_color; }
    stowmere::controls::Color fontShadowColor() const { return m_fontShadowColor; }
    stowmere::controls::Color fontColor() const { return m_fontColor; }
    void setForeColor(stowmere::controls::Color value);
    void setForeLineColor(stowmere::controls::Color value);
    void setBackColor(stowmere::controls::Color value);
    void setBackBorderColor(stowmere::controls::Color value);
    void setBevelColor(stowmere::controls::Color value);
    void setColor(stowmere::controls::Color value);
    void setFontShadowColor(stowmere::controls::Color value);
    void setFontColor(stowmere::controls::Color value);

    // Lighting.
    CylinderColorStyle& backStyle() { return m_backStyle; }
    CylinderColorStyle& foreStyle() { return m_foreStyle; }
    const CylinderColorStyle& backStyle() const { return m_backStyle; }
    const CylinderColorStyle& foreStyle() const { return m_foreStyle; }
    void setBackStyle(const CylinderStyleValues& values) { m_backStyle.assign(values); }
    void setForeStyle(const CylinderStyleValues& values) { m_foreStyle.assign(values); }
    CylinderEffect cylinderEffect() const { return m_cylinderEffect; }
    void setCylinderEffect(CylinderEffect value);

    // Frame.
    BevelCut bevelInner() const { return m_bevelInner; }
    BevelCut bevelOuter() const { return m_bevelOuter; }
    std::int32_t bevelWidth() const { return m_bevelWidth; }
    std::int32_t borderWidth() const { return m_borderWidth; }
    /// A frame that would leave no room for the bar is undone silently.
    void setBevelInner(BevelCut value);
    void setBevelOuter(BevelCut value);
    void setBevelWidth(std::int32_t value);
    void setBorderWidth(std::int32_t value);

    // Text.
    const QFont& captionFont() const { return m_font; }
    void setFont(const QFont& font);
    FontEffect fontEffect() const { return m_fontEffect; }
    FontOrientation fontOrientation() const { return m_fontOrientation; }
    bool showText() const { return m_showText; }
    const QString& text() const { return m_text; }
    const QString& textDone() const { return m_textDone; }
    void setFontEffect(FontEffect value);
    void setFontOrientation(FontOrientation value);
    void setShowText(bool value);
    void setText(const QString& value);
    void setTextDone(const QString& value);
    /// The text drawn for the current percentage.
    QString displayText() const;

    BarOrientation orientation() const { return m_orientation; }
    /// Also sets FontOrientation to match, without rebuilding the text state.
    void setOrientation(BarOrientation value);

    ProEffect proEffect() const { return m_proEffect; }
    /// Applies a named look in one step; ProEffect::Custom applies nothing.
    void setProEffect(ProEffect value);

    // Derived state, readable for drawing checks and tests.
    int percentage() const { return m_percentage; }
    int fillEdge() const { return m_fillEdge; }
    int shadeAmount() const { return m_shadeAmount; }
    float verticalShadeStep() const { return m_vertStep; }
    float horizontalShadeStep() const { return m_horzStep; }
    int shadowOffset() const { return m_shadowOffset; }
    QRect outerRect() const { return m_outerRect; }
    QRect bevelRect() const { return m_bevelRect; }
    QRect barRect() const { return m_barRect; }
    shading::Factors foreFactors() const { return m_foreFactors; }
    shading::Factors foreLineFactors() const { return m_foreLineFactors; }
    shading::Factors backFactors() const { return m_backFactors; }
    bool hasInvertOverlay() const { return m_overlay.has_value(); }

    /// Composes the whole control into the off-screen image (what a paint copies
    /// to the screen) and returns it; left as it was while the control cannot be drawn.
    const QImage& renderOffscreen();
    const QImage& offscreenImage() const { return m_image; }

signals:
    /// The position has reached Max.
    void progressDone();
    /// The pointer entered or left the bar.
    void mouseEntered();
    void mouseLeft();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    friend class CylinderColorStyle;

    struct BevelSet {
        stowmere::controls::Color highlight;
        stowmere::controls::Color shadow;
        stowmere::controls::Color light;
        stowmere::controls::Color darkShadow;
    };

    void styleChanged();
    void markCustom();
    void rederiveColours();
    void deriveBevelSet();
    void chooseBevelColours();
    bool geometryOk() const;
    void recomputeGeometry();
    void updatePosition();
    void setupText(bool shown, bool hadOverlay);
    void refresh();
    bool paintOffscreen();
    void drawText();
    void drawFrameRings(const QRect& from, stowmere::controls::Color topLeft,
                        stowmere::controls::Color bottomRight);

    bool m_created = false;
    bool m_updating = true;

    std::int32_t m_min = 0;
    std::int32_t m_max = 0;
    std::int32_t m_position = 0;
    std::int32_t m_step = 1;
    bool m_stopAtMax = true;

    // Members start out zero, as the constructor's assignments in their fixed
    // order are what sets the defaults up (and their derived state with them).
    stowmere::controls::Color m_foreColor;
    stowmere::controls::Color m_foreLineColor;
    stowmere::controls::Color m_backColor;
    stowmere::controls::Color m_backBorderColor;
    stowmere::controls::Color m_bevelColor;
    stowmere::controls::Color m_color;
    stowmere::controls::Color m_fontShadowColor;
    stowmere::controls::Color m_fontColor;

    CylinderColorStyle m_backStyle;
    CylinderColorStyle m_foreStyle;
    CylinderEffect m_cylinderEffect = CylinderEffect::Flat;

    BevelCut m_bevelInner = BevelCut::None;
    BevelCut m_bevelOuter = BevelCut::None;
    std::int32_t m_bevelWidth = 0;
    std::int32_t m_borderWidth = 0;

    QFont m_font;
    FontEffect m_fontEffect = FontEffect::None;
    FontOrientation m_fontOrientation = FontOrientation::LeftToRight;
    bool m_showText = false;
    QString m_text;
    QString m_textDone;

    BarOrientation m_orientation = BarOrientation::Horizontal;
    ProEffect m_proEffect = ProEffect::DemoSystem;

    // Derived state.
    int m_shadeAmount = 0;
    int m_shadowOffset = 0;
    QRect m_outerRect;
    QRect m_bevelRect;
    QRect m_barRect;
    int m_percentage = 0;
    int m_fillEdge = 0;
    int m_lastRawFill = 0;
    int m_lastPercentage = 0;
    float m_rangeScale = 0.01f;
    float m_vertStep = 0;
    float m_horzStep = 0;
    shading::Factors m_foreFactors;
    shading::Factors m_foreLineFactors;
    shading::Factors m_backFactors;
    BevelSet m_bevelSet;
    stowmere::controls::Color m_innerTopLeft;
    stowmere::controls::Color m_innerBottomRight;
    stowmere::controls::Color m_outerTopLeft;
    stowmere::controls::Color m_outerBottomRight;

    QImage m_image;
    std::optional<QImage> m_overlay;
};

} // namespace stowmere::progress
