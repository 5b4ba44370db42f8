// SPDX-License-Identifier: GPL-3.0-or-later
// Draws the Cancel button's picture, a red round stop sign with a raised white
// hand, and writes it as a 32 x 32 true-colour PNG. Buttons treat the colour of a
// glyph's bottom-left pixel as transparent, so the outside of the sign is one key
// colour (magenta) and the antialiased rim is blended with the light blue-grey of
// the middle of the Cancel button's face instead of with the key.
//
// Usage: make-cancel-glyph OUTPUT.png

#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

#include <cstdio>

namespace {

QPainterPath handPath()
{
    QPainterPath hand;
    // Overlapping parts must merge, not cancel out.
    hand.setFillRule(Qt::WindingFill);
    // Palm
    hand.addRoundedRect(QRectF(10.2, 14.0, 11.0, 10.5), 3.5, 3.5);
    // Four fingers, the middle ones the longest.
    const struct {
        qreal x;
        qreal top;
    } fingers[] = {{10.4, 9.2}, {13.0, 7.2}, {15.6, 7.0}, {18.2, 8.6}};
    for (const auto& f : fingers)
        hand.addRoundedRect(QRectF(f.x, f.top, 2.5, 17.0 - f.top), 1.25, 1.25);
    // Thumb, reaching out to the left from the lower palm.
    QPainterPath thumb;
    thumb.addRoundedRect(QRectF(-1.3, -6.0, 2.6, 8.0), 1.3, 1.3);
    QTransform t;
    t.translate(10.8, 20.5);
    t.rotate(-40);
    hand.addPath(t.map(thumb));
    return hand.simplified();
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: make-cancel-glyph OUTPUT.png\n");
        return 2;
    }
    QGuiApplication app(argc, argv);
    QImage image(32, 32, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    {
        QPainter p(&image);
        p.setRenderHint(QPainter::Antialiasing);

        // Dark rim, then the red face lit from the top left.
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(120, 0, 0));
        p.drawEllipse(QRectF(0.5, 0.5, 31, 31));
        QRadialGradient face(QPointF(12, 10), 20);
        face.setColorAt(0.0, QColor(255, 110, 100));
        face.setColorAt(0.55, QColor(225, 20, 20));
        face.setColorAt(1.0, QColor(160, 0, 0));
        p.setBrush(face);
        p.drawEllipse(QRectF(2, 2, 28, 28));

        // The hand stands out from the sign: a soft shadow below and to the right,
        // then the white hand with a thin grey outline.
        const QPainterPath hand = handPath();
        p.setBrush(QColor(70, 0, 0, 150));
        p.drawPath(hand.translated(1.0, 1.0));
        p.setBrush(Qt::white);
        p.setPen(QPen(QColor(150, 150, 150), 0.6));
        p.drawPath(hand);
    }
    const QRgb key = qRgb(255, 0, 255);
    const QColor face(214, 221, 231);
    QImage glyph(32, 32, QImage::Format_RGB32);
    for (int y = 0; y < 32; ++y) {
        for (int x = 0; x < 32; ++x) {
            const QRgb p = image.pixel(x, y);
            const int a = qAlpha(p);
            if (a == 0) {
                glyph.setPixel(x, y, key);
                continue;
            }
            const auto mix = [a](int over, int under) { return (over * a + under * (255 - a) + 127) / 255; };
            glyph.setPixel(
                x, y,
                qRgb(mix(qRed(p), face.red()), mix(qGreen(p), face.green()), mix(qBlue(p), face.blue())));
        }
    }
    if (!glyph.save(QString::fromLocal8Bit(argv[1]), "PNG")) {
        std::fprintf(stderr, "make-cancel-glyph: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
