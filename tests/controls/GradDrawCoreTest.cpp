// SPDX-License-Identifier: GPL-3.0-or-later
#include "controls/GradDrawCore.h"
#include "controls/MathError.h"

#include <QFontMetrics>
#include <QImage>
#include <QPainter>

#include <gtest/gtest.h>

using namespace stowmere::controls;

namespace {

constexpr Color kFrom = Color::rgb(10, 100, 250);
constexpr Color kTo = Color::rgb(200, 20, 0);

Image24 Filled(int w, int h, Color color)
{
    Image24 image(w, h);
    image.fill(color);
    return image;
}

} // namespace

TEST(FillGradient, DoubleVertIsFromColourOnTheCentreLineAndMirrored)
{
    Image24 image(7, 45);
    fillGradient(image, {0, 0, 7, 45}, kFrom, kTo, GradientType::DoubleVertical);
    EXPECT_EQ(image.pixel(3, 22), kFrom);
    EXPECT_EQ(image.pixel(3, 0), kTo);
    EXPECT_EQ(image.pixel(3, 44), kTo);
    for (int d = 1; d <= 22; ++d)
        EXPECT_EQ(image.pixel(0, 22 - d), image.pixel(6, 22 + d)) << d;
    // Every row is one colour.
    for (int x = 1; x < 7; ++x)
        EXPECT_EQ(image.pixel(x, 10), image.pixel(0, 10));
}

TEST(FillGradient, HorizontalEndsOneStepShortOfToColour)
{
    Image24 image(10, 3);
    fillGradient(image, {0, 0, 10, 3}, Color::rgb(0, 0, 0), Color::rgb(100, 200, 50),
                 GradientType::Horizontal);
    EXPECT_EQ(image.pixel(0, 1), Color::rgb(0, 0, 0));
    EXPECT_EQ(image.pixel(9, 2), Color::rgb(90, 180, 45));
    // 5 * 2.5 = 12.5 rounds to the even 12, 3 * 2.5 = 7.5 to 8.
    EXPECT_EQ(image.pixel(1, 0).red(), 10);
    EXPECT_EQ(image.pixel(5, 0).blue(), 25);
    Image24 halves(4, 1);
    fillGradient(halves, {0, 0, 4, 1}, Color::rgb(0, 0, 0), Color::rgb(10, 10, 10), GradientType::Horizontal);
    EXPECT_EQ(halves.pixel(1, 0).red(), 2); // 2.5 -> 2
    EXPECT_EQ(halves.pixel(3, 0).red(), 8); // 7.5 -> 8
}

TEST(FillGradient, VerticalAndCornerAndRadialStartWhereTheyShould)
{
    Image24 image(20, 10);
    fillGradient(image, {0, 0, 20, 10}, kFrom, kTo, GradientType::Vertical);
    EXPECT_EQ(image.pixel(19, 0), kFrom);
    EXPECT_NE(image.pixel(0, 9), kFrom);
    EXPECT_EQ(image.pixel(0, 9), image.pixel(19, 9));

    fillGradient(image, {0, 0, 20, 10}, kFrom, kTo, GradientType::FromTopLeft);
    EXPECT_EQ(image.pixel(0, 0), kFrom);
    const Color oneFromTheCorner = image.pixel(1, 0);
    // The top-right distance is measured from Right itself, one column beyond the image.
    fillGradient(image, {0, 0, 20, 10}, kFrom, kTo, GradientType::FromTopRight);
    EXPECT_EQ(image.pixel(19, 0), oneFromTheCorner);

    fillGradient(image, {0, 0, 20, 10}, kFrom, kTo, GradientType::Radial);
    EXPECT_EQ(image.pixel(10, 5), kFrom);
    EXPECT_EQ(image.pixel(9, 5), image.pixel(11, 5));
    // On an odd size the halves round down: the centre is pixel (10, 5), not the true middle
    // (10.5, 5.5), so that pixel is exactly fromColour and its neighbours are symmetric.
    Image24 odd(21, 11);
    fillGradient(odd, {0, 0, 21, 11}, kFrom, kTo, GradientType::Radial);
    EXPECT_EQ(odd.pixel(10, 5), kFrom);
    EXPECT_EQ(odd.pixel(9, 5), odd.pixel(11, 5));
    EXPECT_NE(odd.pixel(10, 4), kFrom);
    EXPECT_EQ(odd.pixel(10, 4), odd.pixel(10, 6));

    fillGradient(image, {0, 0, 20, 10}, kFrom, kTo, GradientType::DoubleHorizontal);
    EXPECT_EQ(image.pixel(10, 3), kFrom);
    EXPECT_EQ(image.pixel(0, 3), kTo);
}

TEST(FillGradient, EqualColoursFillSolidAlsoInsideARoundedRegion)
{
    Image24 image = Filled(30, 20, colors::Black);
    fillGradient(image, {0, 0, 30, 20}, kFrom, kFrom, GradientType::DoubleVertical);
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 30; ++x)
            ASSERT_EQ(image.pixel(x, y), kFrom);

    image.fill(colors::Black);
    const QRegion region = roundRectRegion({0, 0, 30, 20}, 10, 10);
    fillGradient(image, {0, 0, 30, 20}, kTo, kTo, GradientType::Radial, &region);
    EXPECT_EQ(image.pixel(0, 0), colors::Black);
    EXPECT_EQ(image.pixel(29, 19), colors::Black);
    EXPECT_EQ(image.pixel(15, 10), kTo);
    EXPECT_EQ(image.pixel(0, 10), kTo);
    EXPECT_EQ(image.pixel(15, 0), kTo);
}

TEST(FillGradient, RegionLimitsTheGradientAndOutOfRangeRectsAreClipped)
{
    Image24 image = Filled(30, 20, colors::Black);
    const QRegion region = roundRectRegion({0, 0, 30, 20}, 10, 10);
    fillGradient(image, {0, 0, 30, 20}, colors::White, kTo, GradientType::Vertical, &region);
    EXPECT_EQ(image.pixel(0, 0), colors::Black);
    EXPECT_EQ(image.pixel(15, 0), colors::White);

    Image24 empty;
    fillGradient(empty, {0, 0, 10, 10}, kFrom, kTo, GradientType::Vertical);
    Image24 small = Filled(4, 4, colors::Black);
    fillGradient(small, {-5, -5, 50, 50}, kFrom, kTo, GradientType::Horizontal);
    fillGradient(small, {2, 0, 3, 4}, kFrom, kTo, GradientType::DoubleHorizontal); // span 0 must not fail
    EXPECT_EQ(small.pixel(2, 1), kFrom);
}

TEST(RoundRectRegion, CutsTheCornersSymmetrically)
{
    const QRegion region = roundRectRegion({0, 0, 40, 30}, 12, 12);
    EXPECT_FALSE(region.contains(QPoint(0, 0)));
    EXPECT_FALSE(region.contains(QPoint(39, 29)));
    EXPECT_TRUE(region.contains(QPoint(6, 0)));
    EXPECT_TRUE(region.contains(QPoint(0, 6)));
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 40; ++x)
            ASSERT_EQ(region.contains(QPoint(x, y)), region.contains(QPoint(39 - x, 29 - y)))
                << x << "," << y;
    EXPECT_EQ(roundRectRegion({0, 0, 5, 5}, 0, 0), QRegion(0, 0, 5, 5));
}

TEST(BlendImage, MixesByPercentWithTiesToEvenAndReadsTheSourceFromItsOrigin)
{
    Image24 dest = Filled(6, 4, Color::rgb(10, 11, 100));
    Image24 source = Filled(3, 2, Color::rgb(11, 12, 200));
    blendImage(dest, source, {2, 1, 5, 3}, 50);
    EXPECT_EQ(dest.pixel(2, 1), Color::rgb(10, 12, 150)); // 10.5 -> 10, 11.5 -> 12
    EXPECT_EQ(dest.pixel(4, 2), Color::rgb(10, 12, 150));
    EXPECT_EQ(dest.pixel(1, 1), Color::rgb(10, 11, 100));
    EXPECT_EQ(dest.pixel(5, 1), Color::rgb(10, 11, 100));

    Image24 full = Filled(2, 2, Color::rgb(0, 100, 200));
    Image24 over = Filled(2, 2, Color::rgb(100, 0, 0));
    blendImage(full, over, {0, 0, 2, 2}, 0);
    EXPECT_EQ(full.pixel(1, 1), Color::rgb(0, 100, 200));
    blendImage(full, over, {0, 0, 2, 2}, 30);
    EXPECT_EQ(full.pixel(1, 1), Color::rgb(30, 70, 140));
    blendImage(full, over, {0, 0, 2, 2}, 100);
    EXPECT_EQ(full.pixel(0, 0), Color::rgb(100, 0, 0));
    // A rect larger than the source blends only what the source covers.
    Image24 wide = Filled(5, 5, colors::Black);
    blendImage(wide, over, {0, 0, 5, 5}, 100);
    EXPECT_EQ(wide.pixel(1, 1), Color::rgb(100, 0, 0));
    EXPECT_EQ(wide.pixel(2, 2), colors::Black);
}

TEST(BlendImage, EveryPairOfChannelValuesRoundsLikeTheFormula)
{
    Image24 dest(256, 256);
    Image24 source(256, 256);
    for (const int percent : {1, 30, 33, 50, 67, 99}) {
        for (int y = 0; y < 256; ++y)
            for (int x = 0; x < 256; ++x) {
                dest.setPixel(x, y, Color::rgb(x, y, 255 - x));
                source.setPixel(x, y, Color::rgb(y, x, 255 - y));
            }
        blendImage(dest, source, {0, 0, 256, 256}, percent);
        const double a = (100 - percent) / 100.0;
        for (int y = 0; y < 256; ++y)
            for (int x = 0; x < 256; ++x)
                ASSERT_EQ(dest.pixel(x, y).red(), roundHalfEven(a * x + (1 - a) * y))
                    << percent << " " << x << " " << y;
    }
}

TEST(ComposeLayers, CopiesTheBaseShiftedAndBlendsTheLayerOnlyWhenAsked)
{
    Image24 base = Filled(5, 5, Color::rgb(0, 0, 200));
    Image24 layer = Filled(5, 5, Color::rgb(200, 0, 0));
    Image24 dest = Filled(5, 5, colors::White);
    composeLayers(dest, base, layer, 0, {0, 0, 5, 5}, 1);
    EXPECT_EQ(dest.pixel(0, 0), colors::White);
    EXPECT_EQ(dest.pixel(4, 0), colors::White);
    EXPECT_EQ(dest.pixel(1, 1), Color::rgb(0, 0, 200));
    EXPECT_EQ(dest.pixel(4, 4), Color::rgb(0, 0, 200));
    composeLayers(dest, base, layer, 150, {0, 0, 5, 5}, 0);
    EXPECT_EQ(dest.pixel(0, 0), Color::rgb(200, 0, 0));
}

TEST(ReduceSupersampled, AveragesOnlyTheBandAndFillsTheInterior)
{
    Image24 large = Filled(30, 30, Color::rgb(0, 0, 0));
    // Top-left block: 9 samples, summing 3 * 255 in red: integer average 85.
    large.setPixel(0, 0, Color::rgb(255, 0, 0));
    large.setPixel(1, 1, Color::rgb(255, 0, 0));
    large.setPixel(2, 2, Color::rgb(255, 8, 0));
    // A sample in the interior must not reach the small image.
    large.setPixel(15, 15, Color::rgb(255, 255, 255));
    Image24 small = Filled(10, 10, Color::rgb(1, 2, 3));
    reduceSupersampled(large, small, 3, Color::rgb(40, 50, 60), 6); // band 3
    EXPECT_EQ(small.pixel(0, 0), Color::rgb(85, 0, 0));
    EXPECT_EQ(small.pixel(2, 5), Color::rgb(0, 0, 0));
    EXPECT_EQ(small.pixel(7, 5), Color::rgb(0, 0, 0));
    EXPECT_EQ(small.pixel(3, 3), Color::rgb(40, 50, 60));
    EXPECT_EQ(small.pixel(5, 5), Color::rgb(40, 50, 60));
    EXPECT_EQ(small.pixel(6, 6), Color::rgb(40, 50, 60));

    // A band below 1 means the factor: band 3 div 2 = 1.
    Image24 other = Filled(10, 10, Color::rgb(1, 2, 3));
    reduceSupersampled(large, other, 3, Color::rgb(40, 50, 60), 0);
    EXPECT_EQ(other.pixel(1, 5), Color::rgb(40, 50, 60));
    EXPECT_EQ(other.pixel(0, 5), Color::rgb(0, 0, 0));

    // A large image too small ends the reduction quietly; the interior is still filled.
    Image24 tiny = Filled(4, 4, colors::Black);
    Image24 target = Filled(10, 10, Color::rgb(1, 2, 3));
    reduceSupersampled(tiny, target, 3, Color::rgb(40, 50, 60), 6);
    EXPECT_EQ(target.pixel(5, 5), Color::rgb(40, 50, 60));
}

TEST(TintImage, TurnsTheCheckMarkGreenOnPaleGreen)
{
    Image24 image(2, 1);
    image.setPixel(0, 0, Color::rgb(0, 0, 0));
    image.setPixel(1, 0, Color::rgb(255, 0, 255));
    tintImage(image, Color::rgb(0, 128, 0));
    EXPECT_EQ(image.pixel(0, 0), Color::rgb(0, 128, 0));
    EXPECT_EQ(image.pixel(1, 0), Color::rgb(170, 255, 170));
    tintImage(image, Color::rgb(64, 64, 64));
    EXPECT_EQ(image.pixel(0, 0), Color::rgb(106, 106, 106));
}

TEST(DrawTransparent, SkipsTheColourOfTheBottomLeftPixel)
{
    Image24 glyph = Filled(2, 2, Color::rgb(1, 2, 3));
    glyph.setPixel(1, 0, Color::rgb(9, 9, 9));
    Image24 dest = Filled(4, 4, colors::White);
    drawTransparent(dest, glyph, 2, 2);
    EXPECT_EQ(dest.pixel(3, 2), Color::rgb(9, 9, 9));
    EXPECT_EQ(dest.pixel(2, 2), colors::White);
    drawTransparent(dest, glyph, 3, 3); // clipped at the edge
}

TEST(CaptionFormat, CombinesAlignmentAndLineMode)
{
    EXPECT_EQ(captionFormat(0, false), TextFlag::VCenter | TextFlag::NoPrefix | TextFlag::EndEllipsis |
                                           TextFlag::Left | TextFlag::SingleLine);
    EXPECT_EQ(captionFormat(1, false) & (TextFlag::Center | TextFlag::Right), TextFlag::Right);
    EXPECT_EQ(captionFormat(2, true), TextFlag::VCenter | TextFlag::NoPrefix | TextFlag::EndEllipsis |
                                          TextFlag::Center | TextFlag::WordBreak);
}

TEST(ElidePath, KeepsTheStartAndTheLastComponent)
{
    QFont font;
    font.setPixelSize(11);
    const QFontMetrics metrics(font);
    const QString path = QStringLiteral("/home/user/Documents/Projects/2026/Quarterly reports/summary.ods");
    EXPECT_EQ(elidePath(path, metrics, 10000), path);
    const int width = metrics.horizontalAdvance(path) / 2;
    const QString shown = elidePath(path, metrics, width);
    EXPECT_LE(metrics.horizontalAdvance(shown), width);
    EXPECT_TRUE(shown.startsWith(QStringLiteral("/home/"))) << shown.toStdString();
    EXPECT_TRUE(shown.endsWith(QStringLiteral(".../summary.ods"))) << shown.toStdString();
    // Too narrow even for the last component: it is cut at its end.
    const QString tiny = elidePath(path, metrics, metrics.horizontalAdvance(QStringLiteral("summ")));
    EXPECT_FALSE(tiny.contains(QStringLiteral("home")));
}

TEST(FadeInterval, FollowsTheFourSpeeds)
{
    EXPECT_EQ(fadeInterval(FadeSpeed::Slow), 40);
    EXPECT_EQ(fadeInterval(FadeSpeed::Medium), 20);
    EXPECT_EQ(fadeInterval(FadeSpeed::Fast), 12);
    EXPECT_EQ(fadeInterval(FadeSpeed::VeryFast), 8);
}

namespace {

QImage canvas(int w, int h)
{
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(Qt::black);
    return image;
}

} // namespace

TEST(DrawGradient, ThreeColoursOverTwentyOneRows)
{
    QImage image = canvas(8, 21);
    QPainter painter(&image);
    drawGradient(painter, {0, 0, 8, 21}, GradientDirection::Vertical,
                 {Color::rgb(0xFF, 0xF5, 0xDD), Color::rgb(0xFF, 0xF5, 0xDD), Color::rgb(0xFF, 0xD2, 0x5E)});
    painter.end();
    for (int y = 0; y <= 10; ++y)
        EXPECT_EQ(image.pixelColor(3, y), QColor(255, 245, 221)) << y;
    EXPECT_EQ(image.pixelColor(0, 15), QColor(255, 227, 157));
    EXPECT_EQ(image.pixelColor(7, 15), QColor(255, 227, 157));
    EXPECT_EQ(image.pixelColor(3, 20), QColor(255, 210, 94));
}

TEST(DrawGradient, TwoColoursOverTenRowsEndOnTheSecondColour)
{
    QImage image = canvas(4, 12);
    QPainter painter(&image);
    drawGradient(painter, {0, 1, 4, 11}, GradientDirection::Vertical,
                 {Color::rgb(0, 0, 0), Color::rgb(90, 180, 9)});
    painter.end();
    EXPECT_EQ(image.pixelColor(1, 0), QColor(Qt::black));
    EXPECT_EQ(image.pixelColor(1, 1), QColor(0, 0, 0));
    EXPECT_EQ(image.pixelColor(1, 10), QColor(90, 180, 9));
    EXPECT_EQ(image.pixelColor(1, 5), QColor(40, 80, 4)); // t = 4/9, truncated
    EXPECT_EQ(image.pixelColor(1, 11), QColor(Qt::black));
}

TEST(DrawGradient, HorizontalPaintsColumns)
{
    QImage image = canvas(10, 3);
    QPainter painter(&image);
    drawGradient(painter, {0, 0, 10, 3}, GradientDirection::Horizontal,
                 {Color::rgb(0, 0, 0), Color::rgb(90, 90, 90)});
    painter.end();
    EXPECT_EQ(image.pixelColor(9, 2), QColor(90, 90, 90));
    EXPECT_EQ(image.pixelColor(3, 0), image.pixelColor(3, 2));
}

TEST(DrawGradient, OneColourRaisesAndDrawsNothing)
{
    QImage image = canvas(4, 4);
    QPainter painter(&image);
    const QPen pen(QColor(1, 2, 3), 3);
    painter.setPen(pen);
    try {
        drawGradient(painter, {0, 0, 4, 4}, GradientDirection::Vertical, {Color::rgb(9, 9, 9)});
        FAIL() << "no error";
    } catch (const MathError& error) {
        EXPECT_STREQ(error.what(), "Please specify at least two colors.");
    }
    EXPECT_EQ(painter.pen(), pen);
    painter.end();
    EXPECT_EQ(image.pixelColor(1, 1), QColor(Qt::black));
}
