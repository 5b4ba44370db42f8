// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/ListBox.h"
#include "app/ListItemPainter.h"

#include <QApplication>
#include <QFont>
#include <QPainter>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

using stowmere::app::ListBox;
using stowmere::app::ListItemPainter;

namespace {

QImage paintItem(bool selected, const QString& text, int width = 240)
{
    QImage image(width, ListBox::kItemHeight, QImage::Format_RGB32);
    image.fill(Qt::magenta);
    QPainter painter(&image);
    painter.setFont(QFont(QStringLiteral("Sans"), 9));
    painter.setBrush(Qt::white);
    ListItemPainter::drawItem(painter, image.rect(), text, selected);
    return image;
}

QRgb rgb(int r, int g, int b)
{
    return qRgb(r, g, b);
}

bool hasDarkPixel(const QImage& image, const QRect& area)
{
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if (qGray(image.pixel(x, y)) < 100)
                return true;
    return false;
}

} // namespace

TEST(ListItemPainting, SelectedItemIsAFlatThenGoldenBandInAGreyRoundedFrame)
{
    const QImage image = paintItem(true, QString());
    // Rows 1 to 10 flat pale, row 15 halfway to golden yellow, row 19 nearly there.
    EXPECT_EQ(image.pixel(100, 5), rgb(255, 245, 221));
    EXPECT_EQ(image.pixel(100, 10), rgb(255, 245, 221));
    EXPECT_EQ(image.pixel(100, 15), rgb(255, 227, 157));
    // The frame runs one pixel inside the right and bottom edges.
    EXPECT_EQ(image.pixel(100, 0), rgb(197, 197, 197));
    EXPECT_EQ(image.pixel(100, 19), rgb(197, 197, 197));
    EXPECT_EQ(image.pixel(0, 10), rgb(197, 197, 197));
    EXPECT_EQ(image.pixel(238, 10), rgb(197, 197, 197));
    // The rounded corner leaves the background showing.
    EXPECT_EQ(image.pixel(0, 0), rgb(255, 0, 255));
    EXPECT_EQ(image.pixel(239, 20), rgb(255, 0, 255));
}

TEST(ListItemPainting, UnselectedItemIsWhiteWithBlackTextTenPixelsIn)
{
    const QImage image = paintItem(false, QStringLiteral("/home/user/Documents"));
    EXPECT_EQ(image.pixel(0, 0), rgb(255, 255, 255));
    EXPECT_EQ(image.pixel(239, 20), rgb(255, 255, 255));
    EXPECT_FALSE(hasDarkPixel(image, QRect(0, 0, 10, 21)));
    EXPECT_FALSE(hasDarkPixel(image, QRect(0, 0, 240, 2)));
    EXPECT_TRUE(hasDarkPixel(image, QRect(10, 2, 60, 19)));
}

TEST(ListItemPainting, LongPathsAreShortenedInTheMiddle)
{
    const QFont font(QStringLiteral("Sans"), 9);
    const QFontMetrics metrics(font);
    const QString path =
        QStringLiteral("/home/user/projects/stowmere/very/deep/folder/structure/report-2026.txt");

    EXPECT_EQ(ListItemPainter::pathEllipsis(metrics, path, metrics.horizontalAdvance(path)), path);

    const int width = metrics.horizontalAdvance(path) / 2;
    const QString shown = ListItemPainter::pathEllipsis(metrics, path, width);
    EXPECT_TRUE(shown.startsWith(QStringLiteral("/home/"))) << shown.toStdString();
    EXPECT_TRUE(shown.endsWith(QStringLiteral(".../report-2026.txt"))) << shown.toStdString();
    EXPECT_LE(metrics.horizontalAdvance(shown), width);
    // One character more would not have fitted.
    const QString longer = path.left(shown.indexOf(QStringLiteral("...")) + 1) + QStringLiteral("...") +
                           QStringLiteral("/report-2026.txt");
    EXPECT_GT(metrics.horizontalAdvance(longer), width);

    // Too narrow even for the last component: it is cut at its end.
    const QString narrow =
        ListItemPainter::pathEllipsis(metrics, path, metrics.horizontalAdvance(".../rep..."));
    EXPECT_TRUE(narrow.startsWith(QStringLiteral(".../rep"))) << narrow.toStdString();
    EXPECT_TRUE(narrow.endsWith(QStringLiteral("..."))) << narrow.toStdString();
}
