// SPDX-License-Identifier: GPL-3.0-or-later
#include "TestSupport.h"

#include "controls/GradientPanel.h"

#include <QFontMetrics>
#include <QVBoxLayout>

#include <QTest>

#include <gtest/gtest.h>

using namespace stowmere::controls;
using namespace stowmere::controls::testing;

using ProbePanel = Probe<GradientPanel>;

namespace {

int leftmostInk(const Image24& image, Color background, int fromRow, int toRow)
{
    for (int x = 5; x < image.width() - 5; ++x)
        for (int y = fromRow; y < toRow; ++y)
            if (image.pixel(x, y) != background)
                return x;
    return -1;
}

} // namespace

TEST(GradPanel, AntialiasedClearsGradientAndKeepsItCleared)
{
    GradientPanel panel;
    EXPECT_TRUE(panel.isAntialiased());
    EXPECT_FALSE(panel.gradient());
    panel.setGradient(true);
    EXPECT_FALSE(panel.gradient());
    panel.setAntialiased(false);
    panel.setGradient(true);
    EXPECT_TRUE(panel.gradient());
    panel.setAntialiased(true);
    EXPECT_FALSE(panel.gradient());
    panel.setGradient(true);
    EXPECT_FALSE(panel.gradient());
}

TEST(GradPanel, OnePixelFrameAroundTheGradientWithoutCorners)
{
    GradientPanel panel;
    panel.resize(60, 30);
    panel.setAntialiased(false);
    panel.setGradient(true);
    panel.setCornerWidth(0);
    panel.setBorderWidth(1);
    panel.setBorderColor(Color::rgb(1, 2, 3));
    panel.setGradientType(GradientType::DoubleVertical);
    panel.setDefaultFrom(Color::rgb(16, 132, 208));
    panel.setDefaultTo(Color::rgb(113, 184, 255));
    const Image24& image = panel.backgroundImage();
    ASSERT_EQ(image.width(), 60);
    ASSERT_EQ(image.height(), 30);
    for (int x = 0; x < 60; ++x) {
        EXPECT_EQ(image.pixel(x, 0), Color::rgb(1, 2, 3));
        EXPECT_EQ(image.pixel(x, 29), Color::rgb(1, 2, 3));
    }
    for (int y = 0; y < 30; ++y) {
        EXPECT_EQ(image.pixel(0, y), Color::rgb(1, 2, 3));
        EXPECT_EQ(image.pixel(59, y), Color::rgb(1, 2, 3));
    }
    Image24 expected(60, 30);
    fillGradient(expected, {0, 0, 60, 30}, Color::rgb(16, 132, 208), Color::rgb(113, 184, 255),
                 GradientType::DoubleVertical);
    EXPECT_EQ(image.pixel(1, 1), expected.pixel(1, 1));
    EXPECT_EQ(image.pixel(30, 15), Color::rgb(16, 132, 208));
    EXPECT_EQ(image.pixel(58, 28), expected.pixel(58, 28));
}

TEST(GradPanel, EqualGradientColoursFillSolidInsideTheRoundedFrame)
{
    GradientPanel panel;
    panel.resize(50, 40);
    panel.setAntialiased(false);
    panel.setGradient(true);
    panel.setOuterColor(Color::rgb(9, 9, 9));
    panel.setDefaultFrom(Color::rgb(50, 60, 70));
    panel.setDefaultTo(Color::rgb(50, 60, 70));
    const Image24& image = panel.backgroundImage();
    EXPECT_EQ(image.pixel(0, 0), Color::rgb(9, 9, 9));
    for (int y = 4; y < 36; ++y)
        for (int x = 4; x < 46; ++x)
            ASSERT_EQ(image.pixel(x, y), Color::rgb(50, 60, 70)) << x << "," << y;
}

TEST(GradPanel, AntialiasedFrameBlendsItsInnerEdgeAndFillsTheFace)
{
    GradientPanel panel;
    panel.resize(233, 120);
    panel.setCornerWidth(0);
    panel.setBorderWidth(5);
    panel.setBorderColor(colors::Silver);
    panel.setOuterColor(colors::Silver);
    panel.setColor(colors::White);
    const Image24& image = panel.backgroundImage();
    EXPECT_EQ(image.pixel(0, 60), colors::Silver);
    EXPECT_EQ(image.pixel(3, 60), colors::Silver);
    // Samples 12 and 13 are frame, 14 is face: (2 * 192 + 255) div 3.
    EXPECT_EQ(image.pixel(4, 60), Color::rgb(213, 213, 213));
    EXPECT_EQ(image.pixel(5, 60), colors::White);
    EXPECT_EQ(image.pixel(116, 60), colors::White);
    EXPECT_EQ(image.pixel(228, 60), Color::rgb(213, 213, 213));

    panel.setCornerWidth(25);
    // A rounded corner: outside it the outer colour, on its curve a blend.
    EXPECT_EQ(panel.backgroundImage().pixel(0, 0), colors::Silver);
    bool blended = false;
    for (int i = 0; i < 15; ++i) {
        const Color c = panel.backgroundImage().pixel(i, i);
        blended = blended || (c != colors::Silver && c != colors::White);
    }
    EXPECT_TRUE(blended);
}

TEST(GradPanel, ChildrenSitInsideTheBorderAlsoAfterResizing)
{
    GradientPanel panel;
    panel.setBorderWidth(5);
    auto* layout = new QVBoxLayout(&panel);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* child = new QWidget;
    layout->addWidget(child);
    panel.resize(233, 545);
    panel.show();
    ASSERT_TRUE(QTest::qWaitFor([&] { return child->geometry() == QRect(6, 6, 221, 533); }))
        << child->geometry();
    panel.resize(300, 200);
    ASSERT_TRUE(QTest::qWaitFor([&] { return child->geometry() == QRect(6, 6, 288, 188); }))
        << child->geometry();
    EXPECT_EQ(panel.backgroundImage().width(), 300);
    EXPECT_EQ(panel.backgroundImage().height(), 200);

    panel.setCaptionPosition(CaptionPosition::GroupBox);
    const int th = QFontMetrics(panel.font()).height();
    EXPECT_EQ(panel.clientArea(), QRect(6, 2 * (th / 2) + 1, 288, 200 - (2 * (th / 2) + 1) - 3));
}

TEST(GradPanel, InvalidWidthsAreIgnored)
{
    GradientPanel panel;
    panel.setCornerWidth(-1);
    panel.setBorderWidth(0);
    panel.setBorderWidth(-4);
    EXPECT_EQ(panel.cornerWidth(), 10);
    EXPECT_EQ(panel.borderWidth(), 2);
    panel.setCornerWidth(0);
    EXPECT_EQ(panel.cornerWidth(), 0);
}

TEST(GradPanel, RebuildsOnlyOnShapingChanges)
{
    ProbePanel panel;
    panel.resize(100, 60);
    panel.show();
    ASSERT_TRUE(QTest::qWaitFor([&] { return panel.isVisible(); }));
    const int start = panel.rebuilds;
    panel.grab();
    panel.grab();
    panel.setTextShadowColor(Color::rgb(1, 1, 1));
    panel.setCaption(QStringLiteral("x"));
    panel.setCaptionPosition(CaptionPosition::MiddleCenter);
    EXPECT_EQ(panel.rebuilds, start);
    panel.setCaptionPosition(CaptionPosition::GroupBox);
    EXPECT_EQ(panel.rebuilds, start + 1);
    panel.setBorderColor(Color::rgb(2, 2, 2));
    panel.setBorderColor(Color::rgb(2, 2, 2));
    panel.setColor(Color::rgb(3, 3, 3));
    EXPECT_EQ(panel.rebuilds, start + 3);
}

TEST(GradPanel, AmpersandUnderlinesInACaptionInsteadOfBeingDrawn)
{
    auto render = [](const QString& caption) {
        GradientPanel panel;
        panel.resize(120, 40);
        panel.setTextShadow(false);
        panel.setCornerWidth(0);
        panel.setCaptionPosition(CaptionPosition::MiddleCenter);
        panel.setCaption(caption);
        return panel.renderPanel();
    };
    const Image24 plain = render(QStringLiteral("B"));
    const Image24 prefixed = render(QStringLiteral("&B"));
    const Color face = Color::rgb(223, 223, 227);
    const int plainLeft = leftmostInk(plain, face, 5, 35);
    EXPECT_GT(plainLeft, 5);
    // Centred, a drawn ampersand would move the ink several pixels left; the underline
    // may start one pixel before the letter's ink.
    EXPECT_NEAR(leftmostInk(prefixed, face, 5, 35), plainLeft, 1) << "the ampersand itself is not drawn";
    int differing = 0;
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 120; ++x)
            differing += plain.pixel(x, y) != prefixed.pixel(x, y) ? 1 : 0;
    EXPECT_GT(differing, 3) << "the B is underlined";
}

TEST(GradPanel, DisabledCaptionIsEmbossedWithoutTheFontColour)
{
    GradientPanel panel;
    panel.resize(120, 40);
    panel.setCaption(QStringLiteral("WWW"));
    panel.setFontColor(Color::rgb(255, 0, 0));
    auto hasRed = [](const Image24& image) {
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                if (image.pixel(x, y) == Color::rgb(255, 0, 0))
                    return true;
        return false;
    };
    EXPECT_TRUE(hasRed(panel.renderPanel()));
    panel.setEnabled(false);
    EXPECT_FALSE(hasRed(panel.renderPanel()));
}
