// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/Glyphs.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

namespace stowmere::app {
namespace {

// Every picture is designed on a 32 x 32 grid and scaled by the painter, so the 16 x 16
// and 64 x 64 variants keep the same shapes.
template <typename Draw> QImage drawGlyph(int size, Draw draw)
{
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(size / 32.0, size / 32.0);
    draw(painter);
    return image;
}

QLinearGradient vertical(qreal top, qreal bottom, const QColor& from, const QColor& to)
{
    QLinearGradient gradient(0, top, 0, bottom);
    gradient.setColorAt(0, from);
    gradient.setColorAt(1, to);
    return gradient;
}

// A green round badge with a white plus, the "add" mark of Add Folder and Add Files.
void plusBadge(QPainter& p)
{
    p.setPen(QPen(QColor(0x1e, 0x6b, 0x12), 1));
    p.setBrush(vertical(18, 31, QColor(0x8c, 0xe0, 0x5a), QColor(0x2e, 0x9a, 0x1c)));
    p.drawEllipse(QRectF(18.5, 18.5, 12.5, 12.5));
    p.setPen(QPen(Qt::white, 2.4, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(24.75, 21.5), QPointF(24.75, 28));
    p.drawLine(QPointF(21.5, 24.75), QPointF(28, 24.75));
}

void folder(QPainter& p)
{
    const QColor edge(0xb0, 0x7a, 0x12);
    QPainterPath back;
    back.moveTo(2, 7);
    back.lineTo(11, 7);
    back.lineTo(14, 10);
    back.lineTo(28, 10);
    back.lineTo(28, 26);
    back.lineTo(2, 26);
    back.closeSubpath();
    p.setPen(QPen(edge, 1));
    p.setBrush(vertical(7, 26, QColor(0xf6, 0xc4, 0x4f), QColor(0xe0, 0x9b, 0x1f)));
    p.drawPath(back);
    QPainterPath front;
    front.moveTo(2, 26);
    front.lineTo(5, 14);
    front.lineTo(31, 14);
    front.lineTo(28, 26);
    front.closeSubpath();
    p.setBrush(vertical(14, 26, QColor(0xff, 0xe4, 0x8a), QColor(0xf3, 0xb9, 0x36)));
    p.drawPath(front);
}

void document(QPainter& p, qreal dx, qreal dy, const QColor& paper)
{
    QPainterPath sheet;
    sheet.moveTo(5 + dx, 2 + dy);
    sheet.lineTo(17 + dx, 2 + dy);
    sheet.lineTo(23 + dx, 8 + dy);
    sheet.lineTo(23 + dx, 27 + dy);
    sheet.lineTo(5 + dx, 27 + dy);
    sheet.closeSubpath();
    p.setPen(QPen(QColor(0x6b, 0x7b, 0x8f), 1));
    p.setBrush(vertical(2 + dy, 27 + dy, Qt::white, paper));
    p.drawPath(sheet);
    QPainterPath fold;
    fold.moveTo(17 + dx, 2 + dy);
    fold.lineTo(17 + dx, 8 + dy);
    fold.lineTo(23 + dx, 8 + dy);
    p.setBrush(QColor(0xd5, 0xdf, 0xea));
    p.drawPath(fold);
    p.setPen(QPen(QColor(0x9f, 0xb4, 0xcc), 1.2));
    for (int line = 0; line < 4; ++line)
        p.drawLine(QPointF(8 + dx, 12.5 + dy + line * 3.5), QPointF(20 + dx, 12.5 + dy + line * 3.5));
}

void trashCan(QPainter& p)
{
    const QColor edge(0x4a, 0x55, 0x63);
    p.setPen(QPen(edge, 1));
    p.setBrush(vertical(9, 30, QColor(0xe9, 0xee, 0xf3), QColor(0x9a, 0xa6, 0xb4)));
    QPainterPath body;
    body.moveTo(7, 9);
    body.lineTo(25, 9);
    body.lineTo(23, 30);
    body.lineTo(9, 30);
    body.closeSubpath();
    p.drawPath(body);
    p.setPen(QPen(QColor(0x6d, 0x79, 0x88), 1.4, Qt::SolidLine, Qt::RoundCap));
    for (qreal x : {12.0, 16.0, 20.0})
        p.drawLine(QPointF(x, 13), QPointF(x, 26));
    p.setPen(QPen(edge, 1));
    p.setBrush(vertical(5, 9, QColor(0xf3, 0xf5, 0xf8), QColor(0xb8, 0xc2, 0xcd)));
    p.drawRoundedRect(QRectF(4.5, 5.5, 23, 4), 1.5, 1.5);
    p.drawRoundedRect(QRectF(12.5, 2.5, 7, 3), 1, 1);
    // The red cross says that what is checked goes away.
    p.setPen(QPen(QColor(0x7d, 0x0b, 0x0b), 1));
    p.setBrush(vertical(17, 31, QColor(0xff, 0x6b, 0x5b), QColor(0xc8, 0x14, 0x14)));
    p.drawEllipse(QRectF(18.5, 18.5, 12.5, 12.5));
    p.setPen(QPen(Qt::white, 2.2, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(22.2, 22.2), QPointF(27.3, 27.3));
    p.drawLine(QPointF(27.3, 22.2), QPointF(22.2, 27.3));
}

void backupBox(QPainter& p)
{
    // A drive with a green arrow coming down into it.
    const QColor edge(0x2d, 0x4b, 0x73);
    p.setPen(QPen(edge, 1));
    p.setBrush(vertical(18, 30, QColor(0xc9, 0xdc, 0xf2), QColor(0x5d, 0x86, 0xbd)));
    p.drawRoundedRect(QRectF(2.5, 18.5, 27, 11), 2.5, 2.5);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x7c, 0xf0, 0x4a));
    p.drawEllipse(QRectF(23, 22.5, 3.5, 3.5));
    p.setPen(QPen(QColor(0x2d, 0x4b, 0x73, 150), 1.2));
    p.drawLine(QPointF(6, 24.3), QPointF(17, 24.3));
    QPainterPath arrow;
    arrow.moveTo(12, 1.5);
    arrow.lineTo(20, 1.5);
    arrow.lineTo(20, 9);
    arrow.lineTo(25, 9);
    arrow.lineTo(16, 18);
    arrow.lineTo(7, 9);
    arrow.lineTo(12, 9);
    arrow.closeSubpath();
    p.setPen(QPen(QColor(0x1e, 0x6b, 0x12), 1));
    p.setBrush(vertical(1, 18, QColor(0x9b, 0xe8, 0x6a), QColor(0x2e, 0x9a, 0x1c)));
    p.drawPath(arrow);
}

void checkMark(QPainter& p)
{
    QPainterPath tick;
    tick.moveTo(4, 17);
    tick.lineTo(12, 26);
    tick.lineTo(28, 6);
    p.setPen(QPen(QColor(0x1e, 0x6b, 0x12), 8, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    p.drawPath(tick);
    p.setPen(QPen(QColor(0x5c, 0xc9, 0x2d), 5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPath(tick);
}

void crossMark(QPainter& p)
{
    for (const auto& [colour, width] :
         {std::pair{QColor(0x7d, 0x0b, 0x0b), 8.0}, {QColor(0xe8, 0x3a, 0x2a), 5.0}}) {
        p.setPen(QPen(colour, width, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(7, 7), QPointF(25, 25));
        p.drawLine(QPointF(25, 7), QPointF(7, 25));
    }
}

} // namespace

const QImage& Glyphs::addFolder()
{
    static const QImage image = drawGlyph(32, [](QPainter& p) {
        folder(p);
        plusBadge(p);
    });
    return image;
}

const QImage& Glyphs::addFiles()
{
    static const QImage image = drawGlyph(32, [](QPainter& p) {
        document(p, 3, 0, QColor(0xdc, 0xe6, 0xf2));
        document(p, -1, 3, QColor(0xe4, 0xec, 0xf5));
        plusBadge(p);
    });
    return image;
}

const QImage& Glyphs::deleteItems()
{
    static const QImage image = drawGlyph(32, trashCan);
    return image;
}

const QImage& Glyphs::backup()
{
    static const QImage image = drawGlyph(32, backupBox);
    return image;
}

const QImage& Glyphs::save()
{
    static const QImage image = drawGlyph(16, checkMark);
    return image;
}

const QImage& Glyphs::cancel()
{
    static const QImage image = drawGlyph(16, crossMark);
    return image;
}

const QImage& Glyphs::appIcon()
{
    static const QImage image = drawGlyph(64, backupBox);
    return image;
}

} // namespace stowmere::app
