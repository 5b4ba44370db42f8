// SPDX-License-Identifier: GPL-3.0-or-later
#include "progress/CylinderProgressBar.h"

#include "progress/ProEffects.h"

#include <QAccessible>
#include <QEnterEvent>
#include <QFontMetrics>
#include <QPaintEvent>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <limits>

using stowmere::controls::Color;

namespace stowmere::progress {

namespace {

// Rounds to nearest with ties to even, the rounding of the percentage and the fill.
int roundEven(double v)
{
    return static_cast<int>(std::nearbyint(v));
}

int clampChannel(int v)
{
    return std::clamp(v, 0, 255);
}

constexpr int ShadeAmounts[] = {1, 51, 102, 153, 204, 255};

} // namespace

CylinderProgressBar::CylinderProgressBar(QWidget* parent)
    : QWidget(parent), m_backStyle(this), m_foreStyle(this)
{
    // The whole control is painted from the off-screen image, so Qt need not erase it.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_NoSystemBackground);

    // Updating is set and created is clear while the defaults are assigned, in this
    // order and through the setters, so that the derived state follows them.
    resize(150, 22);
    m_image = QImage(150, 22, QImage::Format_BGR888);
    QFont font(QStringLiteral("Liberation Sans"));
    font.setPixelSize(12);
    font.setBold(true);
    setFont(font);
    setFontColor(colors::Black);
    setText(QStringLiteral("%"));
    setTextDone(tr("Done"));
    setFontEffect(FontEffect::ShadowBottomRight);
    setFontShadowColor(colors::ButtonFace);
    setFontOrientation(FontOrientation::LeftToRight);
    setShowText(true);
    setOrientation(BarOrientation::Horizontal);
    setMin(0);
    setMax(100);
    setStep(1);
    setStopAtMax(true);
    setBackStyle(CylinderStyleValues{});
    setForeStyle(CylinderStyleValues{});
    setBevelOuter(BevelCut::Lowered);
    setBorderWidth(2);
    setBevelWidth(1);
    setBevelInner(BevelCut::Raised);
    setBackColor(colors::ButtonFace);
    setBackBorderColor(colors::Black);
    setForeLineColor(colors::Highlight);
    setForeColor(colors::White);
    setColor(colors::ButtonFace);
    setBevelColor(colors::ButtonFace);
    setCylinderEffect(CylinderEffect::Maximum);
    m_lastRawFill = 0;
    setPosition(0);
    m_created = true;
    m_updating = false;
}

CylinderProgressBar::~CylinderProgressBar() = default;

// ---------------------------------------------------------------------------
// Range and position

void CylinderProgressBar::setMin(std::int32_t value)
{
    if (value == m_min)
        return;
    if (value == m_max) {
        if (m_max == std::numeric_limits<std::int32_t>::min())
            return;
        value = m_max - 1;
    }
    if (value < m_max) {
        m_min = value;
        m_rangeScale = static_cast<float>(1.0 / (double(m_max) - double(m_min)));
        if (m_position < m_min)
            m_position = m_min;
    }
    recomputeGeometry();
}

void CylinderProgressBar::setMax(std::int32_t value)
{
    if (value == m_max)
        return;
    if (value == m_min) {
        if (m_min == std::numeric_limits<std::int32_t>::max())
            return;
        value = m_min + 1;
    }
    if (value > m_min) {
        m_max = value;
        m_rangeScale = static_cast<float>(1.0 / (double(m_max) - double(m_min)));
        if (m_position > m_max)
            m_position = m_max;
    }
    recomputeGeometry();
}

void CylinderProgressBar::setPosition(std::int32_t value)
{
    const std::int32_t before = m_position;
    m_position = std::clamp(value, m_min, m_max);
    updatePosition();
    if (m_position != before && QAccessible::isActive()) {
        QAccessibleValueChangeEvent event(this, m_position);
        QAccessible::updateAccessibility(&event);
    }
}

void CylinderProgressBar::updatePosition()
{
    const double r = double(m_position) - double(m_min);
    const int percentage = roundEven(r / (double(m_max) - double(m_min)) * 100.0);
    const double s = m_rangeScale;
    const int c = m_borderWidth + 2 * m_bevelWidth;
    int rawFill = 0;
    int edge = 0;
    if (m_orientation == BarOrientation::Horizontal) {
        rawFill = roundEven(double(width()) * r * s) + 2 * c - roundEven(double(c) * r * s * 2.0);
        edge = std::max(rawFill - c, c + 1);
    } else {
        rawFill = roundEven(double(height()) * r * s) + 2 * c - roundEven(2.0 * double(c) * r * s);
        edge = (height() - c) - (rawFill - 2 * c);
        // Mirror of the horizontal limit: the fore line never drops below the
        // first bar row inside the frame ring, so it never paints over the inner
        // bevel or shows under a BevelCut::None frame at Min.
        edge = std::min(edge, height() - c - 2);
    }
    m_percentage = percentage;
    m_fillEdge = edge;
    if (rawFill == m_lastRawFill && percentage == m_lastPercentage)
        return;
    m_lastRawFill = rawFill;
    m_lastPercentage = percentage;
    if (m_position == m_max)
        emit progressDone();
    refresh();
}

// ---------------------------------------------------------------------------
// Colours

void CylinderProgressBar::markCustom()
{
    if (!m_updating)
        m_proEffect = ProEffect::Custom;
}

void CylinderProgressBar::setForeColor(Color value)
{
    m_foreColor = value;
    m_foreFactors = shading::colourFactors(colors::channels(value), m_foreStyle.values());
    markCustom();
    refresh();
}

void CylinderProgressBar::setForeLineColor(Color value)
{
    m_foreLineColor = value;
    m_foreLineFactors = shading::colourFactors(colors::channels(value), m_foreStyle.values());
    markCustom();
    refresh();
}

void CylinderProgressBar::setBackColor(Color value)
{
    m_backColor = value;
    m_backFactors = shading::colourFactors(colors::channels(value), m_backStyle.values());
    markCustom();
    refresh();
}

void CylinderProgressBar::setBackBorderColor(Color value)
{
    if (value == m_backBorderColor)
        return;
    m_backBorderColor = value;
    markCustom();
    refresh();
}

void CylinderProgressBar::setFontShadowColor(Color value)
{
    if (value == m_fontShadowColor)
        return;
    m_fontShadowColor = value;
    markCustom();
    refresh();
}

void CylinderProgressBar::setBevelColor(Color value)
{
    m_bevelColor = value;
    deriveBevelSet();
    markCustom();
    chooseBevelColours();
    refresh();
}

void CylinderProgressBar::setColor(Color value)
{
    if (value == m_color)
        return;
    m_color = value;
    refresh();
}

void CylinderProgressBar::setFontColor(Color value)
{
    if (value == m_fontColor)
        return;
    m_fontColor = value;
    refresh();
}

void CylinderProgressBar::styleChanged()
{
    markCustom();
    rederiveColours();
}

void CylinderProgressBar::rederiveColours()
{
    setForeColor(m_foreColor);
    setForeLineColor(m_foreLineColor);
    setFontShadowColor(m_fontShadowColor);
    setBackColor(m_backColor);
    setBackBorderColor(m_backBorderColor);
    setBevelColor(m_bevelColor);
}

void CylinderProgressBar::deriveBevelSet()
{
    if (m_bevelColor == colors::ButtonFace) {
        m_bevelSet = {colors::ButtonHighlight, colors::ButtonShadow, colors::Light3D, colors::DarkShadow3D};
        return;
    }
    const colors::Rgb c = colors::channels(m_bevelColor);
    const Color light = colors::rgb(clampChannel(c.r + 64), clampChannel(c.g + 64), clampChannel(c.b + 64));
    const Color dark = colors::rgb(clampChannel(c.r - 64), clampChannel(c.g - 64), clampChannel(c.b - 64));
    m_bevelSet = {light, dark, light, dark};
}

void CylinderProgressBar::chooseBevelColours()
{
    const bool noBand = m_borderWidth == 0;
    switch (m_bevelInner) {
    case BevelCut::Space:
        m_innerTopLeft = m_innerBottomRight = m_color;
        break;
    case BevelCut::Lowered: {
        const bool deep = m_bevelOuter == BevelCut::Lowered && noBand;
        m_innerTopLeft = deep ? m_bevelSet.darkShadow : m_bevelSet.shadow;
        m_innerBottomRight = deep ? m_bevelSet.light : m_bevelSet.highlight;
        break;
    }
    case BevelCut::Raised:
        m_innerTopLeft =
            (m_bevelOuter == BevelCut::Raised && noBand) ? m_bevelSet.light : m_bevelSet.highlight;
        m_innerBottomRight = m_bevelSet.shadow;
        break;
    case BevelCut::None:
        break;
    }
    switch (m_bevelOuter) {
    case BevelCut::Space:
        m_outerTopLeft = m_outerBottomRight = m_color;
        break;
    case BevelCut::Lowered:
        m_outerTopLeft = m_bevelSet.shadow;
        m_outerBottomRight = m_bevelSet.highlight;
        break;
    case BevelCut::Raised:
        m_outerTopLeft = m_bevelSet.highlight;
        m_outerBottomRight =
            (m_bevelInner == BevelCut::Raised && noBand) ? m_bevelSet.darkShadow : m_bevelSet.shadow;
        break;
    case BevelCut::None:
        break;
    }
    recomputeGeometry();
}

void CylinderProgressBar::setCylinderEffect(CylinderEffect value)
{
    if (value == m_cylinderEffect)
        return;
    m_shadeAmount = ShadeAmounts[std::clamp(static_cast<int>(value), 0, 5)];
    m_cylinderEffect = value;
    markCustom();
    recomputeGeometry();
    refresh();
}

// ---------------------------------------------------------------------------
// Frame and geometry

bool CylinderProgressBar::geometryOk() const
{
    const int W = width();
    const int H = height();
    if (m_borderWidth < 0 || m_bevelWidth < 0)
        return false;
    const int a = m_borderWidth + m_bevelWidth;
    const int c = m_borderWidth + 2 * m_bevelWidth;
    return W > 0 && H > 0 && H - 2 * a > 0 && W - 2 * a > 0 && H - 2 * c > 0 && W - 2 * c > 0;
}

void CylinderProgressBar::recomputeGeometry()
{
    const int W = width();
    const int H = height();
    const int a = m_borderWidth + m_bevelWidth;
    const int c = m_borderWidth + 2 * m_bevelWidth;
    m_outerRect = QRect(0, 0, W, H);
    m_bevelRect = QRect(a, a, W - 2 * a, H - 2 * a);
    m_barRect = QRect(c, c, W - 2 * c, H - 2 * c);
    const int w = W - 2 * c;
    const int h = H - 2 * c;
    if (w > 0 && h > 0) {
        // Whole shade levels per row or column, rounded down: the flat effect (amount 1) must
        // give a step of 0 on any bar thicker than one pixel, and the progress window's bar
        // is drawn with the step 7 of 255 div 33.
        const int rowStep = m_shadeAmount / h;
        const int columnStep = m_shadeAmount / w;
        m_vertStep = static_cast<float>(rowStep);
        m_horzStep = static_cast<float>(columnStep);
    }
    updatePosition();
}

void CylinderProgressBar::setBevelInner(BevelCut value)
{
    if (value == m_bevelInner)
        return;
    const BevelCut old = m_bevelInner;
    m_bevelInner = value;
    if (!geometryOk())
        m_bevelInner = old;
    chooseBevelColours();
    refresh();
}

void CylinderProgressBar::setBevelOuter(BevelCut value)
{
    if (value == m_bevelOuter)
        return;
    const BevelCut old = m_bevelOuter;
    m_bevelOuter = value;
    if (!geometryOk())
        m_bevelOuter = old;
    chooseBevelColours();
    refresh();
}

void CylinderProgressBar::setBevelWidth(std::int32_t value)
{
    if (value == m_bevelWidth)
        return;
    const std::int32_t old = m_bevelWidth;
    m_bevelWidth = value;
    if (!geometryOk())
        m_bevelWidth = old;
    chooseBevelColours();
    refresh();
}

void CylinderProgressBar::setBorderWidth(std::int32_t value)
{
    if (value == m_borderWidth)
        return;
    const std::int32_t old = m_borderWidth;
    m_borderWidth = value;
    if (!geometryOk())
        m_borderWidth = old;
    chooseBevelColours();
    refresh();
}

void CylinderProgressBar::setOrientation(BarOrientation value)
{
    if (value == m_orientation)
        return;
    m_orientation = value;
    m_fontOrientation =
        value == BarOrientation::Vertical ? FontOrientation::BottomToTop : FontOrientation::LeftToRight;
    recomputeGeometry();
    refresh();
}

// ---------------------------------------------------------------------------
// Text

void CylinderProgressBar::setFont(const QFont& font)
{
    if (font == m_font)
        return;
    m_font = font;
    refresh();
}

void CylinderProgressBar::setText(const QString& value)
{
    if (value == m_text)
        return;
    m_text = value;
    refresh();
}

void CylinderProgressBar::setTextDone(const QString& value)
{
    if (value == m_textDone)
        return;
    m_textDone = value;
    refresh();
}

void CylinderProgressBar::setFontEffect(FontEffect value)
{
    if (value == m_fontEffect)
        return;
    const bool hadOverlay = m_fontEffect == FontEffect::Invert;
    m_fontEffect = value;
    markCustom();
    setupText(m_showText, hadOverlay);
}

void CylinderProgressBar::setShowText(bool value)
{
    if (value == m_showText)
        return;
    const bool old = m_showText;
    m_showText = value;
    setupText(old, m_fontEffect == FontEffect::Invert);
    refresh();
}

void CylinderProgressBar::setFontOrientation(FontOrientation value)
{
    if (value == m_fontOrientation)
        return;
    m_fontOrientation = value;
    setupText(m_showText, m_fontEffect == FontEffect::Invert);
    refresh();
}

void CylinderProgressBar::setupText(bool shown, bool hadOverlay)
{
    if (shown) {
        if (hadOverlay)
            m_overlay.reset();
        if (m_showText)
            setupText(false, false);
    } else if (m_showText) {
        if (m_fontEffect == FontEffect::Invert) {
            m_overlay.emplace(m_image.size(), QImage::Format_BGR888);
        } else {
            m_shadowOffset = m_fontEffect == FontEffect::ShadowTopLeft       ? -1
                             : m_fontEffect == FontEffect::ShadowBottomRight ? 1
                                                                             : 0;
        }
    }
    refresh();
}

QString CylinderProgressBar::displayText() const
{
    if (!m_textDone.isEmpty() && m_percentage == 100)
        return m_textDone;
    return QString::number(m_percentage) + m_text;
}

// ---------------------------------------------------------------------------
// Presets

void CylinderProgressBar::setProEffect(ProEffect value)
{
    m_proEffect = value;
    const EffectPreset* p = effects::preset(value);
    if (!p) {
        m_updating = false;
        return;
    }
    m_updating = true;
    hide();
    setCylinderEffect(p->cylinderEffect);
    if (p->frame) {
        setBevelOuter(p->frame->bevelOuter);
        setBevelInner(p->frame->bevelInner);
        setBorderWidth(p->frame->borderWidth);
        setShowText(p->frame->showText);
    }
    setFontColor(colors::Black);
    if (p->fontShadowColor)
        setFontShadowColor(*p->fontShadowColor);
    setFontEffect(p->fontEffect);
    setForeColor(p->foreColor);
    setBackColor(p->backColor);
    setForeLineColor(p->foreLineColor);
    setBackBorderColor(colors::Black);
    setColor(colors::ButtonFace);
    setBevelColor(colors::ButtonFace);
    m_backStyle.assign(p->backStyle);
    m_foreStyle.assign(p->foreStyle);
    show();
    m_updating = false;
}

// ---------------------------------------------------------------------------
// Painting

void CylinderProgressBar::refresh()
{
    if (m_created)
        update();
}

bool CylinderProgressBar::paintOffscreen()
{
    if (!m_created || !geometryOk())
        return false;
    const int W = width();
    const int H = height();
    if (m_image.size() != QSize(W, H))
        m_image = QImage(W, H, QImage::Format_BGR888);
    if (m_image.isNull())
        return false; // too large to allocate: paint nothing rather than write through null rows
    const int c = m_borderWidth + 2 * m_bevelWidth;

    shading::fillRect(m_image, 0, 0, W, H, colors::resolve(m_color));

    shading::BarShade shade;
    shade.c = c;
    shade.fillEdge = m_fillEdge;
    shade.foreStyle = m_foreStyle.values();
    shade.backStyle = m_backStyle.values();
    shade.fore = m_foreFactors;
    shade.foreLine = m_foreLineFactors;
    shade.back = m_backFactors;
    if (m_orientation == BarOrientation::Horizontal) {
        shade.step = m_vertStep;
        shading::shadeHorizontal(m_image, shade);
    } else {
        shade.step = m_horzStep;
        shading::shadeVertical(m_image, shade);
    }

    const QRgb border = colors::resolve(m_backBorderColor);
    shading::drawRing(m_image, c, c, W - c, H - c, border, border);
    if (m_bevelInner != BevelCut::None)
        drawFrameRings(m_bevelRect, m_innerTopLeft, m_innerBottomRight);
    if (m_bevelOuter != BevelCut::None)
        drawFrameRings(m_outerRect, m_outerTopLeft, m_outerBottomRight);
    if (m_showText)
        drawText();
    return true;
}

void CylinderProgressBar::drawFrameRings(const QRect& from, Color topLeft, Color bottomRight)
{
    const QRgb p = colors::resolve(topLeft);
    const QRgb q = colors::resolve(bottomRight);
    int left = from.x();
    int top = from.y();
    int right = from.x() + from.width();
    int bottom = from.y() + from.height();
    for (int i = 0; i < m_bevelWidth; ++i) {
        shading::drawRing(m_image, left, top, right, bottom, p, q);
        ++left;
        ++top;
        --right;
        --bottom;
    }
}

void CylinderProgressBar::drawText()
{
    const QString text = displayText();
    const int W = width();
    const int H = height();
    const QFontMetrics metrics(m_font);
    const int tw = metrics.horizontalAdvance(text);
    const int th = metrics.height();

    int x = 0;
    int y = 0;
    qreal angle = 0;
    switch (m_fontOrientation) {
    case FontOrientation::LeftToRight:
        x = (W - tw) / 2;
        y = (H - th) / 2 + 1;
        break;
    case FontOrientation::TopToBottom:
        x = th + (W - th) / 2 - 1;
        y = (H - tw) / 2;
        angle = 90;
        break;
    case FontOrientation::BottomToTop:
        x = (W - th) / 2 + 1;
        y = tw + (H - tw) / 2;
        angle = -90;
        break;
    }

    // (x, y) is the top-left corner of the text before rotation; the text is
    // rotated about it, like a rotated font whose reference point is its top.
    const auto drawAt = [&](QPainter& painter, int px, int py, const QColor& colour) {
        painter.save();
        painter.translate(px, py);
        painter.rotate(angle);
        painter.setPen(colour);
        painter.drawText(0, metrics.ascent(), text);
        painter.restore();
    };

    if (m_fontEffect == FontEffect::Invert && m_overlay) {
        if (m_overlay->size() != m_image.size())
            *m_overlay = QImage(m_image.size(), QImage::Format_BGR888);
        m_overlay->fill(Qt::black);
        {
            QPainter painter(&*m_overlay);
            QFont crisp = m_font;
            // Exclusive-or of half-tone edge pixels would give stray colours,
            // so the overlay text is drawn without antialiasing.
            crisp.setStyleStrategy(QFont::NoAntialias);
            painter.setFont(crisp);
            painter.setClipRect(m_outerRect);
            drawAt(painter, x, y, Qt::white);
        }
        shading::xorInto(m_image, *m_overlay);
        return;
    }

    QPainter painter(&m_image);
    painter.setFont(m_font);
    painter.setClipRect(m_outerRect);
    if (m_fontEffect == FontEffect::ShadowTopLeft || m_fontEffect == FontEffect::ShadowBottomRight)
        drawAt(painter, x + m_shadowOffset, y + m_shadowOffset, QColor(colors::resolve(m_fontShadowColor)));
    drawAt(painter, x, y, QColor(colors::resolve(m_fontColor)));
}

const QImage& CylinderProgressBar::renderOffscreen()
{
    paintOffscreen();
    return m_image;
}

void CylinderProgressBar::paintEvent(QPaintEvent*)
{
    if (!paintOffscreen())
        return;
    QPainter painter(this);
    painter.drawImage(0, 0, m_image);
}

void CylinderProgressBar::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    if (!m_created || !geometryOk())
        return;
    m_image = QImage(width(), height(), QImage::Format_BGR888);
    if (m_overlay)
        *m_overlay = QImage(width(), height(), QImage::Format_BGR888);
    recomputeGeometry();
    refresh();
}

void CylinderProgressBar::enterEvent(QEnterEvent* event)
{
    QWidget::enterEvent(event);
    emit mouseEntered();
    repaint();
}

void CylinderProgressBar::leaveEvent(QEvent* event)
{
    QWidget::leaveEvent(event);
    emit mouseLeft();
    repaint();
}

void CylinderProgressBar::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange || event->type() == QEvent::ApplicationPaletteChange) {
        // System colours are resolved when derived; rederiving must not mark the look custom.
        const bool updating = m_updating;
        m_updating = true;
        rederiveColours();
        m_updating = updating;
    }
}

} // namespace stowmere::progress
