// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/ListItemPainter.h"

#include "controls/GradDrawCore.h"
#include "controls/Rect.h"

#include <QPainter>
#include <QPainterPath>

namespace stowmere::app {
namespace {

const QString kEllipsis = QStringLiteral("...");

constexpr controls::Color kBandTop = controls::Color::rgb(255, 245, 221);
constexpr controls::Color kBandBottom = controls::Color::rgb(255, 210, 94);
constexpr controls::Color kFrame = controls::Color::rgb(197, 197, 197);
// The corner ellipses of band and frame are 5 x 5.
constexpr qreal kCornerRadius = 2.5;

// A cut must not separate the two halves of a surrogate pair.
qsizetype safeCut(const QString& text, qsizetype length)
{
    if (length > 0 && length < text.size() && text.at(length - 1).isHighSurrogate())
        return length - 1;
    return length;
}

// The longest start of text that, followed by "...", fits width.
QString endEllipsis(const QFontMetrics& metrics, const QString& text, int width)
{
    for (qsizetype length = safeCut(text, text.size()); length >= 0; length = safeCut(text, length - 1)) {
        QString candidate = text.left(length) + kEllipsis;
        if (metrics.horizontalAdvance(candidate) <= width || length == 0)
            return candidate;
    }
    return kEllipsis;
}

} // namespace

QString ListItemPainter::pathEllipsis(const QFontMetrics& metrics, const QString& text, int width)
{
    if (metrics.horizontalAdvance(text) <= width)
        return text;
    const qsizetype lastSeparator = text.lastIndexOf(u'/');
    if (lastSeparator <= 0)
        return endEllipsis(metrics, text, width);
    const QString head = text.left(lastSeparator);
    const QString tail = text.mid(lastSeparator);
    // Binary search for the longest start of the path that still fits before "...".
    qsizetype low = 0;
    qsizetype high = head.size();
    qsizetype best = -1;
    while (low <= high) {
        const qsizetype middle = (low + high) / 2;
        const qsizetype cut = safeCut(head, middle);
        if (metrics.horizontalAdvance(head.left(cut) + kEllipsis + tail) <= width) {
            best = cut;
            low = middle + 1;
        } else {
            high = middle - 1;
        }
    }
    if (best >= 0)
        return head.left(best) + kEllipsis + tail;
    return endEllipsis(metrics, kEllipsis + tail, width);
}

void ListItemPainter::drawItem(QPainter& painter, const QRect& rect, const QString& text, bool selected)
{
    // The rectangle in the platform's terms: right and bottom lie just outside.
    const int left = rect.left();
    const int top = rect.top();
    const int right = rect.left() + rect.width();
    const int bottom = rect.top() + rect.height();

    painter.setPen(Qt::black);
    if (selected) {
        painter.save();
        QPainterPath band;
        band.addRoundedRect(QRectF(left, top, right - left, bottom - top), kCornerRadius, kCornerRadius);
        painter.setClipPath(band, Qt::IntersectClip);
        painter.setBrush(Qt::NoBrush);
        controls::drawGradient(painter, controls::Rect{left, top, right, bottom},
                               controls::GradientDirection::Vertical, {kBandTop, kBandTop, kBandBottom});
        painter.setRenderHint(QPainter::Antialiasing, false);
        painter.setPen(controls::toQColor(kFrame));
        painter.drawRoundedRect(QRect(left, top, right - 1 - left - 1, bottom - 1 - top - 1), kCornerRadius,
                                kCornerRadius);
        painter.restore();
    } else {
        painter.fillRect(QRect(left, top, right - left, bottom - top), painter.brush());
    }
    painter.setPen(Qt::black);
    const QRect textRect(left + 10, top + 2, right - 10 - (left + 10), bottom - (top + 2));
    const QString shown = pathEllipsis(painter.fontMetrics(), text, textRect.width());
    painter.save();
    painter.setClipRect(textRect, Qt::IntersectClip);
    painter.drawText(textRect, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, shown);
    painter.restore();
}

} // namespace stowmere::app
