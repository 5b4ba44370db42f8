// SPDX-License-Identifier: GPL-3.0-or-later
#include "controls/GradDrawCore.h"

#include "controls/GradientControl.h"
#include "controls/MathError.h"

#include <QFontMetrics>
#include <QPainter>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <vector>

namespace stowmere::controls {

namespace {

// Pixel values can leave 0..255 when a gradient runs past its span (a rectangle that
// starts right of the image origin) or a blend is asked for more than 100 percent;
// clamping keeps such pixels at the nearest representable colour instead of wrapping.
std::uint8_t toByte(double value)
{
    if (!(value > 0.0))
        return 0;
    if (value >= 255.0)
        return 255;
    return static_cast<std::uint8_t>(roundHalfEven(value));
}

struct Rgb {
    int r = 0;
    int g = 0;
    int b = 0;
};

Rgb split(Color rgb)
{
    return {rgb.red(), rgb.green(), rgb.blue()};
}

void putPixel(std::uint8_t* p, std::uint8_t r, std::uint8_t g, std::uint8_t b)
{
    p[0] = b;
    p[1] = g;
    p[2] = r;
}

Rect bounds(const Image24& image)
{
    return {0, 0, image.width(), image.height()};
}

std::vector<QRect> areaRects(const Image24& image, const Rect& rect, const QRegion* region)
{
    const Rect area = rect.intersected(bounds(image));
    if (area.isEmpty())
        return {};
    if (region == nullptr)
        return {area.toQRect()};
    const QRegion clipped = *region & area.toQRect();
    return {clipped.begin(), clipped.end()};
}

} // namespace

int roundHalfEven(double value)
{
    // The default floating-point environment rounds to nearest with ties to even.
    return static_cast<int>(std::nearbyint(value));
}

QRegion roundRectRegion(const Rect& rect, int cornerWidth, int cornerHeight)
{
    if (rect.isEmpty())
        return QRegion();
    const int cw = std::clamp(cornerWidth, 0, rect.width());
    const int ch = std::clamp(cornerHeight, 0, rect.height());
    if (cw < 2 || ch < 2)
        return QRegion(rect.toQRect());

    // One span per row, the corner rows narrowed by the quarter ellipse; equal
    // neighbouring rows are merged so the region stays a handful of bands.
    const double a = cw / 2.0;
    const double b = ch / 2.0;
    std::vector<QRect> bands;
    auto insetOfRow = [&](int y) {
        const int fromTop = y - rect.top;
        const int fromBottom = rect.bottom - 1 - y;
        const int edge = std::min(fromTop, fromBottom);
        if (edge >= b)
            return 0;
        const double dy = (b - (edge + 0.5)) / b;
        const double dx = a * (1.0 - std::sqrt(std::max(0.0, 1.0 - dy * dy)));
        return static_cast<int>(std::lround(dx));
    };
    int bandTop = rect.top;
    int bandInset = insetOfRow(rect.top);
    for (int y = rect.top + 1; y <= rect.bottom; ++y) {
        const int inset = y < rect.bottom ? insetOfRow(y) : -1;
        if (inset == bandInset)
            continue;
        const int left = rect.left + bandInset;
        const int right = rect.right - bandInset;
        if (right > left)
            bands.emplace_back(left, bandTop, right - left, y - bandTop);
        bandTop = y;
        bandInset = inset;
    }
    QRegion region;
    region.setRects(bands.data(), static_cast<int>(bands.size()));
    return region;
}

void fillRect(Image24& image, const Rect& rect, Color color)
{
    const Rect area = rect.intersected(bounds(image));
    if (area.isEmpty())
        return;
    const Rgb c = split(resolvedRgb(color));
    std::uint8_t* first = image.pixelBytes(area.left, area.top);
    for (int x = area.left; x < area.right; ++x)
        putPixel(image.pixelBytes(x, area.top), static_cast<std::uint8_t>(c.r),
                 static_cast<std::uint8_t>(c.g), static_cast<std::uint8_t>(c.b));
    const auto bytes = static_cast<std::size_t>(area.width()) * 3;
    for (int y = area.top + 1; y < area.bottom; ++y)
        std::memcpy(image.pixelBytes(area.left, y), first, bytes);
}

void fillRegion(Image24& image, const QRegion& region, Color color)
{
    const QRegion clipped = region & bounds(image).toQRect();
    for (const QRect& r : clipped)
        fillRect(image, Rect::fromQRect(r), color);
}

void fillGradient(Image24& image, const Rect& rect, Color fromColour, Color toColour, GradientType type,
                  const QRegion* region)
{
    if (image.width() < 1 || image.height() < 1)
        return;
    // Compared as stored, before system colours are resolved.
    if (fromColour == toColour) {
        if (region != nullptr)
            fillRegion(image, *region, fromColour);
        else
            fillRect(image, rect, fromColour);
        return;
    }

    const Rgb from = split(resolvedRgb(fromColour));
    const Rgb to = split(resolvedRgb(toColour));
    const int w = rect.width();
    const int h = rect.height();
    const int d = roundHalfEven(std::sqrt(double(w) * w + double(h) * h));

    int span = 0;
    switch (type) {
    case GradientType::Horizontal:
        span = w;
        break;
    case GradientType::Vertical:
        span = h;
        break;
    case GradientType::FromTopLeft:
    case GradientType::FromTopRight:
        span = d - rect.left;
        break;
    case GradientType::Radial:
        span = (d - rect.left) / 2;
        break;
    case GradientType::DoubleHorizontal:
        span = w / 2;
        break;
    case GradientType::DoubleVertical:
        span = h / 2;
        break;
    }

    // A zero span (a double gradient one pixel across) has no slope: the whole area
    // takes fromColour rather than dividing by zero.
    auto stepOf = [span](int fromChannel, int toChannel) {
        if (span == 0)
            return 0.0;
        const double step = (toChannel - fromChannel) / double(span);
        return step > 255.0 ? 255.0 : step;
    };
    const double stepR = stepOf(from.r, to.r);
    const double stepG = stepOf(from.g, to.g);
    const double stepB = stepOf(from.b, to.b);

    // The radial centre is a whole pixel: half the width and half the height, rounded
    // toward zero, from the image origin. Every radial picture drawn so far is centred
    // there, so the halves stay integer divisions.
    const int centreX = w / 2;
    const int centreY = h / 2;
    auto distance = [&](int x, int y) -> double {
        switch (type) {
        case GradientType::Horizontal:
            return x - rect.left;
        case GradientType::Vertical:
            return y - rect.top;
        case GradientType::FromTopLeft: {
            const double dx = x - rect.left;
            const double dy = y - rect.top;
            return std::sqrt(dx * dx + dy * dy);
        }
        case GradientType::FromTopRight: {
            const double dx = rect.right - x;
            const double dy = y - rect.top;
            return std::sqrt(dx * dx + dy * dy);
        }
        case GradientType::Radial: {
            const double dx = centreX - x;
            const double dy = y - centreY;
            return std::sqrt(dx * dx + dy * dy);
        }
        case GradientType::DoubleHorizontal:
            return std::abs(x - span - rect.left);
        case GradientType::DoubleVertical:
            return std::abs(y - span - rect.top);
        }
        return 0.0;
    };
    auto colourAt = [&](double t, std::uint8_t* p) {
        putPixel(p, toByte(stepR * t + from.r), toByte(stepG * t + from.g), toByte(stepB * t + from.b));
    };

    const bool byRow = type == GradientType::Vertical || type == GradientType::DoubleVertical;
    const bool byColumn = type == GradientType::Horizontal || type == GradientType::DoubleHorizontal;
    for (const QRect& r : areaRects(image, rect, region)) {
        const Rect area = Rect::fromQRect(r);
        if (byColumn) {
            // The colour depends on x alone: compute one row, copy it down.
            std::uint8_t* first = image.pixelBytes(area.left, area.top);
            for (int x = area.left; x < area.right; ++x)
                colourAt(distance(x, area.top), image.pixelBytes(x, area.top));
            for (int y = area.top + 1; y < area.bottom; ++y)
                std::memcpy(image.pixelBytes(area.left, y), first,
                            static_cast<std::size_t>(area.width()) * 3);
            continue;
        }
        for (int y = area.top; y < area.bottom; ++y) {
            if (byRow) {
                std::uint8_t pixel[3];
                colourAt(distance(area.left, y), pixel);
                for (int x = area.left; x < area.right; ++x)
                    std::memcpy(image.pixelBytes(x, y), pixel, 3);
                continue;
            }
            for (int x = area.left; x < area.right; ++x)
                colourAt(distance(x, y), image.pixelBytes(x, y));
        }
    }
}

void blendImage(Image24& dest, const Image24& source, const Rect& rect, int percent)
{
    // The source is addressed from its own origin, so only the part of rect that the
    // source covers can be blended.
    const Rect sourceArea = bounds(source).offset(rect.left, rect.top);
    const Rect area = rect.intersected(bounds(dest)).intersected(sourceArea);
    if (area.isEmpty())
        return;
    const double a = (100 - percent) / 100.0;
    const double b = 1 - a;
    const auto count = static_cast<std::size_t>(area.width()) * 3;
    if (percent < 0 || percent > 100) {
        for (int y = area.top; y < area.bottom; ++y) {
            std::uint8_t* d = dest.pixelBytes(area.left, y);
            const std::uint8_t* s = source.pixelBytes(area.left - rect.left, y - rect.top);
            for (std::size_t i = 0; i < count; ++i)
                d[i] = toByte(a * d[i] + b * s[i]);
        }
        return;
    }
    // Blends run on every fade tick, so the two products come from tables (the same
    // doubles a * d and b * s) and the sum, always within 0..255 here, is rounded to
    // nearest-even by the 1.5 * 2^52 shift instead of a library call.
    double destPart[256];
    double sourcePart[256];
    for (int v = 0; v < 256; ++v) {
        destPart[v] = a * v;
        sourcePart[v] = b * v;
    }
    constexpr double kShift = 6755399441055744.0;
    for (int y = area.top; y < area.bottom; ++y) {
        std::uint8_t* d = dest.pixelBytes(area.left, y);
        const std::uint8_t* s = source.pixelBytes(area.left - rect.left, y - rect.top);
        for (std::size_t i = 0; i < count; ++i) {
            const double rounded = (destPart[d[i]] + sourcePart[s[i]] + kShift) - kShift;
            d[i] = static_cast<std::uint8_t>(static_cast<int>(rounded));
        }
    }
}

void composeLayers(Image24& dest, const Image24& base, const Image24& layer, int percent, const Rect& rect,
                   int offset)
{
    const int left = rect.left + offset;
    const int top = rect.top + offset;
    const Rect target = Rect{left, top, left + rect.width() - offset, top + rect.height() - offset}
                            .intersected(bounds(dest))
                            .intersected(bounds(base).offset(left, top));
    if (!target.isEmpty()) {
        const auto bytes = static_cast<std::size_t>(target.width()) * 3;
        for (int y = target.top; y < target.bottom; ++y)
            std::memcpy(dest.pixelBytes(target.left, y), base.pixelBytes(target.left - left, y - top), bytes);
    }
    if (percent > 0)
        blendImage(dest, layer, rect, std::min(percent, 100));
}

void reduceSupersampled(const Image24& large, Image24& small, int factor, Color fillColour, int band)
{
    const Color fill = resolvedRgb(fillColour);
    if (band < 1)
        band = factor;
    band /= 2;
    const int width = small.width();
    const int height = small.height();

    auto reducePixel = [&](int x, int y) {
        // A large image too small for the block ends the reduction; the fill still runs.
        if (factor < 1 || (x + 1) * factor > large.width() || (y + 1) * factor > large.height())
            return false;
        int sum[3] = {0, 0, 0};
        for (int i = 0; i < factor; ++i) {
            const std::uint8_t* p = large.pixelBytes(x * factor, y * factor + i);
            for (int j = 0; j < factor * 3; j += 3) {
                sum[0] += p[j];
                sum[1] += p[j + 1];
                sum[2] += p[j + 2];
            }
        }
        const int area = factor * factor;
        std::uint8_t* q = small.pixelBytes(x, y);
        for (int c = 0; c < 3; ++c)
            q[c] = static_cast<std::uint8_t>(sum[c] / area);
        return true;
    };

    bool ok = true;
    for (int y = 0; y < height && ok; ++y) {
        const bool wholeRow = y <= band || y >= height - band;
        for (int x = 0; x < width && ok; ++x) {
            if (!wholeRow && x > band && x < width - band) {
                x = width - band - 1;
                continue;
            }
            ok = reducePixel(x, y);
        }
    }
    fillRect(small, {band, band, width - band, height - band}, fill);
}

void tintImage(Image24& image, Color tint)
{
    const Rgb t = split(resolvedRgb(tint));
    for (int y = 0; y < image.height(); ++y) {
        std::uint8_t* p = image.row(y);
        for (int x = 0; x < image.width(); ++x, p += 3) {
            const int grey = (p[0] + p[1] + p[2]) / 3;
            putPixel(p, static_cast<std::uint8_t>(std::min(grey + t.r, 255)),
                     static_cast<std::uint8_t>(std::min(grey + t.g, 255)),
                     static_cast<std::uint8_t>(std::min(grey + t.b, 255)));
        }
    }
}

void drawTransparent(Image24& dest, const Image24& source, int x, int y)
{
    if (source.isEmpty())
        return;
    const Rect area = bounds(source).offset(x, y).intersected(bounds(dest));
    if (area.isEmpty())
        return;
    const std::uint8_t* key = source.row(source.height() - 1);
    for (int dy = area.top; dy < area.bottom; ++dy) {
        const std::uint8_t* s = source.pixelBytes(area.left - x, dy - y);
        std::uint8_t* d = dest.pixelBytes(area.left, dy);
        for (int dx = area.left; dx < area.right; ++dx, s += 3, d += 3) {
            if (s[0] != key[0] || s[1] != key[1] || s[2] != key[2])
                std::memcpy(d, s, 3);
        }
    }
}

void frameRect(Image24& image, const Rect& rect, Color color)
{
    if (rect.isEmpty())
        return;
    fillRect(image, {rect.left, rect.top, rect.right, rect.top + 1}, color);
    fillRect(image, {rect.left, rect.bottom - 1, rect.right, rect.bottom}, color);
    fillRect(image, {rect.left, rect.top, rect.left + 1, rect.bottom}, color);
    fillRect(image, {rect.right - 1, rect.top, rect.right, rect.bottom}, color);
}

void drawFocusRect(Image24& image, const Rect& rect)
{
    if (rect.isEmpty())
        return;
    auto invert = [&](int x, int y) {
        if (x < 0 || y < 0 || x >= image.width() || y >= image.height() || ((x + y) & 1) != 0)
            return;
        std::uint8_t* p = image.pixelBytes(x, y);
        p[0] = static_cast<std::uint8_t>(~p[0]);
        p[1] = static_cast<std::uint8_t>(~p[1]);
        p[2] = static_cast<std::uint8_t>(~p[2]);
    };
    for (int x = rect.left; x < rect.right; ++x) {
        invert(x, rect.top);
        if (rect.bottom - 1 > rect.top)
            invert(x, rect.bottom - 1);
    }
    for (int y = rect.top + 1; y < rect.bottom - 1; ++y) {
        invert(rect.left, y);
        if (rect.right - 1 > rect.left)
            invert(rect.right - 1, y);
    }
}

QString elidePath(const QString& path, const QFontMetrics& metrics, int width)
{
    if (metrics.horizontalAdvance(path) <= width)
        return path;
    const QString dots = QStringLiteral("...");
    const qsizetype cut = std::max(path.lastIndexOf(QLatin1Char('/')), path.lastIndexOf(QLatin1Char('\\')));
    if (cut <= 0)
        return metrics.elidedText(path, Qt::ElideRight, width);
    const QString tail = path.mid(cut);
    // The longest start of the path that still fits in front of "..." and the last component.
    qsizetype low = 0;
    qsizetype high = cut;
    while (low < high) {
        const qsizetype mid = (low + high + 1) / 2;
        if (metrics.horizontalAdvance(path.left(mid) + dots + tail) <= width)
            low = mid;
        else
            high = mid - 1;
    }
    QString shortened = path.left(low) + dots + tail;
    if (metrics.horizontalAdvance(shortened) <= width)
        return shortened;
    return metrics.elidedText(dots + tail, Qt::ElideRight, width);
}

void drawFormattedText(QPainter& canvas, const QString& text, const Rect& rect, TextFlags format)
{
    if (text.isEmpty() || rect.isEmpty())
        return;
    int flags = 0;
    if (format.testFlag(TextFlag::Center))
        flags |= Qt::AlignHCenter;
    else if (format.testFlag(TextFlag::Right))
        flags |= Qt::AlignRight;
    else
        flags |= Qt::AlignLeft;
    if (format.testFlag(TextFlag::VCenter))
        flags |= Qt::AlignVCenter;
    else if (format.testFlag(TextFlag::Bottom))
        flags |= Qt::AlignBottom;
    else
        flags |= Qt::AlignTop;
    const bool prefix = !format.testFlag(TextFlag::NoPrefix);
    if (prefix)
        flags |= Qt::TextShowMnemonic;
    if (format.testFlag(TextFlag::WordBreak) && !format.testFlag(TextFlag::SingleLine))
        flags |= Qt::TextWordWrap;
    else
        flags |= Qt::TextSingleLine;

    QString shown = text;
    const QFontMetrics metrics(canvas.font());
    if ((flags & Qt::TextSingleLine) != 0) {
        if (format.testFlag(TextFlag::PathEllipsis))
            shown = elidePath(text, metrics, rect.width());
        else if (format.testFlag(TextFlag::EndEllipsis))
            shown = metrics.elidedText(text, Qt::ElideRight, rect.width(), prefix ? Qt::TextShowMnemonic : 0);
    }
    canvas.drawText(rect.toQRect(), flags, shown);
}

void drawCaption(QPainter& canvas, const QString& text, const QFont& font, Color fontColour,
                 Color shadowColour, bool shadowOn, TextFlags format, const Rect& rect, bool enabled)
{
    canvas.setFont(font);
    if (enabled) {
        if (shadowOn) {
            canvas.setPen(toQColor(shadowColour));
            drawFormattedText(canvas, text, rect.offset(1, 1), format);
        }
        canvas.setPen(toQColor(fontColour));
        drawFormattedText(canvas, text, rect, format);
    } else {
        canvas.setPen(toQColor(colors::ButtonHighlight));
        drawFormattedText(canvas, text, rect.offset(1, 1), format);
        canvas.setPen(toQColor(colors::ButtonShadow));
        drawFormattedText(canvas, text, rect, format);
    }
}

TextFlags captionFormat(int alignment, bool wrap)
{
    static constexpr std::array<TextFlag, 3> alignments = {TextFlag::Left, TextFlag::Right, TextFlag::Center};
    const TextFlag align = alignments[static_cast<std::size_t>(std::clamp(alignment, 0, 2))];
    return TextFlag::VCenter | TextFlag::NoPrefix | TextFlag::EndEllipsis | align |
           (wrap ? TextFlag::WordBreak : TextFlag::SingleLine);
}

int fadeInterval(FadeSpeed speed)
{
    switch (speed) {
    case FadeSpeed::Slow:
        return 40;
    case FadeSpeed::Medium:
        return 20;
    case FadeSpeed::Fast:
        return 12;
    case FadeSpeed::VeryFast:
        return 8;
    }
    return 20;
}

void startFade(GradientControl& control)
{
    control.m_fadeTimer.stop();
    control.m_fadeTimer.start(fadeInterval(control.m_fadeSpeed));
}

void drawGradient(QPainter& canvas, const Rect& rect, GradientDirection direction,
                  std::span<const Color> colors)
{
    if (colors.size() < 2)
        throw MathError("Please specify at least two colors.");
    const bool vertical = direction == GradientDirection::Vertical;
    const int size = vertical ? rect.height() : rect.width();
    const int n = static_cast<int>(colors.size()) - 1;
    std::vector<Rgb> stops;
    stops.reserve(colors.size());
    for (Color c : colors)
        stops.push_back(split(resolvedRgb(c)));

    canvas.save();
    canvas.setRenderHint(QPainter::Antialiasing, false);
    const int step = roundHalfEven(double(size) / n);
    for (int i = 0; i < n; ++i) {
        const int len = i < n - 1 ? step : size - (n - 1) * step - 1;
        for (int j = 0; j <= len; ++j) {
            const int pos = i * step + j;
            // A band of one line (len 0) shows its end colour, so the last colour is never lost.
            const double t = len == 0 ? 1.0 : double(j) / len;
            auto channel = [t](int start, int end) { return static_cast<int>(start + (end - start) * t); };
            const Rgb& a = stops[static_cast<std::size_t>(i)];
            const Rgb& b = stops[static_cast<std::size_t>(i) + 1];
            const QColor colour(channel(a.r, b.r), channel(a.g, b.g), channel(a.b, b.b));
            // One-pixel lines whose far end point is not painted, as with the platform's
            // line rule; a fill of one row or column is that line and honours the clip.
            if (vertical)
                canvas.fillRect(QRect(rect.left, rect.top + pos, rect.width(), 1), colour);
            else
                canvas.fillRect(QRect(rect.left + pos, rect.top, 1, rect.height()), colour);
        }
    }
    canvas.restore();
}

void drawGradient(QPainter& canvas, const Rect& rect, GradientDirection direction,
                  std::initializer_list<Color> colors)
{
    drawGradient(canvas, rect, direction, std::span<const Color>(colors.begin(), colors.size()));
}

} // namespace stowmere::controls
