// SPDX-License-Identifier: GPL-3.0-or-later
#include "progress/CylinderProgressBar.h"
#include "progress/ProEffects.h"
#include "progress/ProgressWindow.h"

#include <QCoreApplication>
#include <QEnterEvent>
#include <QWidget>

#include <gtest/gtest.h>

#include <array>
#include <vector>

using namespace stowmere::progress;

namespace {

using colors::rgb;

struct Px {
    int r;
    int g;
    int b;
    friend bool operator==(const Px&, const Px&) = default;
};

void PrintTo(const Px& p, std::ostream* os)
{
    *os << "(" << p.r << ", " << p.g << ", " << p.b << ")";
}

Px pixel(const QImage& image, int x, int y)
{
    const uchar* px = image.constScanLine(y) + 3 * x;
    return {px[2], px[1], px[0]};
}

// The progress window's own bar, xipZip, as the window sets it up.
class WindowBar : public ::testing::Test {
protected:
    ProgressWindow frm;
    CylinderProgressBar& bar = *frm.progressBar();
};

TEST_F(WindowBar, GeometryAndShadeSteps)
{
    EXPECT_EQ(bar.barRect(), QRect(4, 4, 238, 33));
    EXPECT_EQ(bar.bevelRect(), QRect(3, 3, 240, 35));
    EXPECT_EQ(bar.verticalShadeStep(), 7.0f);
    EXPECT_EQ(bar.horizontalShadeStep(), 1.0f);
    EXPECT_EQ(shading::lightLineOffset(33, bar.foreStyle().lightAngle()), -11);
    EXPECT_EQ(shading::lightLineOffset(33, bar.backStyle().lightAngle()), -11);
}

TEST_F(WindowBar, ShadedPixelsAcrossTheThickness)
{
    bar.setShowText(false);
    bar.setPosition(50);
    const QImage& image = bar.renderOffscreen();
    ASSERT_EQ(image.size(), QSize(246, 41));
    const int edge = bar.fillEdge();
    // Fore part
    EXPECT_EQ(pixel(image, 40, 15), (Px{255, 159, 63}));
    EXPECT_EQ(pixel(image, 40, 5), (Px{255, 203, 81})) << "one shade step inside the ring";
    EXPECT_EQ(pixel(image, 40, 36), (Px{0, 0, 0})) << "row 36 is the black frame ring";
    // Back part, the fore line
    EXPECT_EQ(pixel(image, 200, 15), (Px{207, 207, 207}));
    EXPECT_EQ(pixel(image, edge, 15), (Px{159, 63, 63}));
    // Frame ring round the bar and the white border band outside it.
    EXPECT_EQ(pixel(image, 4, 20), (Px{0, 0, 0}));
    EXPECT_EQ(pixel(image, 241, 20), (Px{0, 0, 0}));
    EXPECT_EQ(pixel(image, 2, 20), (Px{255, 255, 255}));
    EXPECT_EQ(pixel(image, 0, 0), (Px{255, 255, 255}));
}

TEST(CylShadingRows, WindowBarRowsBeforeTheFrameIsDrawn)
{
    // The frame ring covers rows 4 and 36, so the shading itself is checked on a
    // bare image: rows 4, 15 and 36 of the window's bar.
    const CylinderStyleValues style{255, 4.0f, -1.0f, 255, 255, 1.0f, -3.0f};
    QImage image(246, 41, QImage::Format_BGR888);
    image.fill(Qt::white);
    shading::BarShade s;
    s.c = 4;
    s.fillEdge = 100;
    s.step = 7.0f;
    s.foreStyle = style;
    s.backStyle = style;
    s.fore = shading::colourFactors({255, 128, 0}, style);
    s.foreLine = shading::colourFactors({128, 0, 0}, style);
    s.back = shading::colourFactors({192, 192, 192}, style);
    shading::shadeHorizontal(image, s);

    EXPECT_EQ(pixel(image, 50, 15), (Px{255, 159, 63}));
    EXPECT_EQ(pixel(image, 50, 4), (Px{255, 207, 83}));
    EXPECT_EQ(pixel(image, 50, 36), (Px{255, 251, 100}));
    EXPECT_EQ(pixel(image, 150, 15), (Px{207, 207, 207}));
    EXPECT_EQ(pixel(image, 150, 4), (Px{255, 255, 255}));
    EXPECT_EQ(pixel(image, 150, 36), (Px{255, 255, 255}));
    EXPECT_EQ(pixel(image, 100, 15), (Px{159, 63, 63}));
    // Nothing outside the bar rectangle is written.
    EXPECT_EQ(pixel(image, 3, 15), (Px{255, 255, 255}));
    EXPECT_EQ(pixel(image, 242, 15), (Px{255, 255, 255}));
    EXPECT_EQ(pixel(image, 50, 3), (Px{255, 255, 255}));
    EXPECT_EQ(pixel(image, 50, 37), (Px{255, 255, 255}));
}

TEST(CylShadingRows, DefaultFactorsAndClipping)
{
    const CylinderStyleValues def;
    EXPECT_FLOAT_EQ(shading::channelFactor(255, def), 1.0f);
    EXPECT_FLOAT_EQ(shading::channelFactor(0, def), 0.25f);
    // A negative base times a negative factor is positive: the metal look.
    const CylinderStyleValues& s2 = effects::styleSet(2);
    EXPECT_LT(shading::channelFactor(255, s2), 0.0f);
    EXPECT_EQ(shading::shadeChannel(0, 7.0f, s2, shading::channelFactor(40, s2)), 0);
    EXPECT_GT(shading::shadeChannel(0, 7.0f, s2, shading::channelFactor(255, s2)), 0);
    EXPECT_EQ(shading::shadeChannel(100, 7.0f, def, 1.0f), 0) << "negative clips to 0";
}

TEST(CylShadingRows, RingTakesTopLeftOnlyAtItsTopLeftCorner)
{
    QImage image(6, 5, QImage::Format_BGR888);
    image.fill(Qt::white);
    shading::drawRing(image, 1, 1, 5, 4, qRgb(10, 10, 10), qRgb(200, 0, 0));
    EXPECT_EQ(pixel(image, 1, 1), (Px{10, 10, 10}));
    EXPECT_EQ(pixel(image, 3, 1), (Px{10, 10, 10}));
    EXPECT_EQ(pixel(image, 4, 1), (Px{200, 0, 0}));
    EXPECT_EQ(pixel(image, 1, 2), (Px{10, 10, 10}));
    EXPECT_EQ(pixel(image, 1, 3), (Px{200, 0, 0}));
    EXPECT_EQ(pixel(image, 4, 3), (Px{200, 0, 0}));
    EXPECT_EQ(pixel(image, 2, 2), (Px{255, 255, 255}));
    EXPECT_EQ(pixel(image, 0, 0), (Px{255, 255, 255}));
}

TEST_F(WindowBar, ThreeItemsPercentagesFillEdgesAndDoneText)
{
    int done = 0;
    QObject::connect(&bar, &CylinderProgressBar::progressDone, [&] { ++done; });
    bar.setMax(3);
    const std::array<int, 4> percent{0, 33, 67, 100};
    const std::array<int, 4> edges{5, 83, 163, 242};
    for (int p = 0; p <= 3; ++p) {
        bar.setPosition(p);
        EXPECT_EQ(bar.percentage(), percent[static_cast<std::size_t>(p)]) << p;
        EXPECT_EQ(bar.fillEdge(), edges[static_cast<std::size_t>(p)]) << p;
    }
    EXPECT_EQ(bar.displayText(), QStringLiteral("Backup Complete"));
    EXPECT_EQ(done, 1);
    bar.setPosition(3);
    bar.setPosition(7);
    EXPECT_EQ(bar.position(), 3);
    EXPECT_EQ(done, 1) << "the same position again fires nothing";

    // At Max the fore line lies just right of the black frame ring.
    bar.setShowText(false);
    const QImage& image = bar.renderOffscreen();
    EXPECT_EQ(pixel(image, 241, 15), (Px{0, 0, 0}));
    EXPECT_EQ(pixel(image, 242, 15), (Px{159, 63, 63}));
}

TEST_F(WindowBar, PercentageRoundsHalfToEven)
{
    bar.setMax(8);
    bar.setPosition(1);
    EXPECT_EQ(bar.percentage(), 12);
    EXPECT_EQ(bar.displayText(), QStringLiteral("12%"));
    bar.setPosition(3);
    EXPECT_EQ(bar.percentage(), 38);
    bar.setPosition(-5);
    EXPECT_EQ(bar.position(), 0);
}

TEST_F(WindowBar, EmptyTextDoneShowsTheNumber)
{
    bar.setTextDone(QString());
    bar.setPosition(100);
    EXPECT_EQ(bar.displayText(), QStringLiteral("100%"));
}

TEST(ProgressCylRange, MinAndMaxNeverMeetOrCross)
{
    QWidget parent;
    CylinderProgressBar bar(&parent);
    bar.setMin(10);
    bar.setMax(10);
    EXPECT_EQ(bar.maximum(), 11);
    bar.setMax(5);
    EXPECT_EQ(bar.maximum(), 11) << "below Min is not stored";
    bar.setMin(11);
    EXPECT_EQ(bar.minimum(), 10) << "equal to Max becomes Max - 1, which it already is";
    bar.setMin(20);
    EXPECT_EQ(bar.minimum(), 10);
    bar.setMax(50);
    bar.setPosition(40);
    bar.setMax(30);
    EXPECT_EQ(bar.position(), 30);
    bar.setMin(35);
    EXPECT_EQ(bar.minimum(), 10) << "above Max is not stored";
    bar.setMin(-5);
    bar.setMin(29);
    EXPECT_EQ(bar.position(), 30);
    bar.setMin(30);
    EXPECT_EQ(bar.minimum(), 29);
    // Extremes do not overflow.
    bar.setMin(std::numeric_limits<std::int32_t>::min());
    bar.setMax(std::numeric_limits<std::int32_t>::max());
    bar.setPosition(0);
    EXPECT_EQ(bar.percentage(), 50);
}

TEST(ProgressCylDefaults, NewBar)
{
    QWidget parent;
    CylinderProgressBar bar(&parent);
    EXPECT_EQ(bar.size(), QSize(150, 22));
    EXPECT_EQ(bar.proEffect(), ProEffect::DemoSystem);
    EXPECT_EQ(bar.foreColor(), colors::White);
    EXPECT_EQ(bar.backColor(), colors::ButtonFace);
    EXPECT_EQ(bar.foreLineColor(), colors::Highlight);
    EXPECT_EQ(bar.fontShadowColor(), colors::ButtonFace);
    EXPECT_EQ(bar.bevelInner(), BevelCut::Raised);
    EXPECT_EQ(bar.bevelOuter(), BevelCut::Lowered);
    EXPECT_EQ(bar.textDone(), QStringLiteral("Done"));
    EXPECT_EQ(bar.shadowOffset(), 1);
    EXPECT_EQ(bar.shadeAmount(), 255);
    EXPECT_EQ(bar.foreStyle().values(), CylinderStyleValues{});
    EXPECT_FALSE(bar.hasInvertOverlay());
    EXPECT_EQ(bar.displayText(), QStringLiteral("0%"));
}

TEST(ProgressCylSetters, DivisorsRefusedAndCustomMarking)
{
    QWidget parent;
    CylinderProgressBar bar(&parent);
    bar.foreStyle().setIntensity(0.0f);
    bar.foreStyle().setRangeRGB(0);
    bar.backStyle().setLightAngle(0.0f);
    EXPECT_EQ(bar.foreStyle().intensity(), 4.0f);
    EXPECT_EQ(bar.foreStyle().rangeRGB(), 255);
    EXPECT_EQ(bar.backStyle().lightAngle(), -3.0f);
    EXPECT_EQ(bar.proEffect(), ProEffect::DemoSystem);

    // Frame, texts, range, Color and Orientation leave the preset alone.
    bar.setBorderWidth(3);
    bar.setColor(colors::White);
    bar.setText(QStringLiteral(" pct"));
    bar.setMax(50);
    bar.setOrientation(BarOrientation::Vertical);
    EXPECT_EQ(bar.fontOrientation(), FontOrientation::BottomToTop);
    EXPECT_EQ(bar.proEffect(), ProEffect::DemoSystem);

    bar.setBackBorderColor(colors::Black);
    EXPECT_EQ(bar.proEffect(), ProEffect::DemoSystem) << "unchanged border colour is ignored";
    bar.foreStyle().setColorFactor(1.0f);
    EXPECT_EQ(bar.proEffect(), ProEffect::Custom);
    EXPECT_FLOAT_EQ(bar.foreFactors().r, 1.0f);
}

TEST(ProgressCylSetters, FrameThatLeavesNoRoomIsUndone)
{
    QWidget parent;
    CylinderProgressBar bar(&parent);
    bar.resize(150, 12);
    bar.setBorderWidth(4);
    EXPECT_EQ(bar.borderWidth(), 2) << "c = 6 leaves no bar row in 12 pixels";
    bar.setBorderWidth(3);
    EXPECT_EQ(bar.borderWidth(), 3);
    bar.setBevelWidth(2);
    EXPECT_EQ(bar.bevelWidth(), 1);
    bar.setBevelWidth(-1);
    EXPECT_EQ(bar.bevelWidth(), 1);
}

TEST(ProgressCylSetters, BevelColourSetAndChoice)
{
    QWidget parent;
    CylinderProgressBar bar(&parent);
    bar.resize(60, 20);
    bar.setShowText(false);
    bar.setBevelColor(rgb(100, 200, 30));
    bar.setBevelOuter(BevelCut::Raised);
    bar.setBevelInner(BevelCut::Lowered);
    const QImage& image = bar.renderOffscreen();
    // Outer raised: highlight top-left, shadow bottom-right.
    EXPECT_EQ(pixel(image, 0, 0), (Px{164, 255, 94}));
    EXPECT_EQ(pixel(image, 59, 19), (Px{36, 136, 0}));
    // Inner lowered with a border band: shadow top-left, highlight bottom-right.
    EXPECT_EQ(pixel(image, 3, 3), (Px{36, 136, 0}));
    EXPECT_EQ(pixel(image, 56, 16), (Px{164, 255, 94}));
    // Space takes Color read at the choice.
    bar.setColor(rgb(1, 2, 3));
    bar.setBevelInner(BevelCut::Space);
    bar.renderOffscreen();
    EXPECT_EQ(pixel(bar.offscreenImage(), 3, 3), (Px{1, 2, 3}));
}

TEST(ProgressCylText, InvertOverlayFollowsEffectAndSwitch)
{
    QWidget parent;
    CylinderProgressBar bar(&parent);
    bar.setFontEffect(FontEffect::Invert);
    EXPECT_TRUE(bar.hasInvertOverlay());
    bar.setShowText(false);
    EXPECT_FALSE(bar.hasInvertOverlay());
    bar.setShowText(true);
    EXPECT_TRUE(bar.hasInvertOverlay());
    bar.setFontEffect(FontEffect::ShadowTopLeft);
    EXPECT_FALSE(bar.hasInvertOverlay());
    EXPECT_EQ(bar.shadowOffset(), -1);
}

TEST(ProgressCylText, InvertTurnsPixelsUnderTheTextIntoTheirComplement)
{
    QWidget parent;
    CylinderProgressBar bar(&parent);
    bar.resize(200, 40);
    bar.setShowText(false);
    const QImage plain = bar.renderOffscreen().copy();
    bar.setShowText(true);
    bar.setFontEffect(FontEffect::Invert);
    const QImage& inverted = bar.renderOffscreen();
    int changed = 0;
    for (int y = 0; y < plain.height(); ++y)
        for (int x = 0; x < plain.width(); ++x) {
            const Px a = pixel(plain, x, y);
            const Px b = pixel(inverted, x, y);
            if (a == b)
                continue;
            ++changed;
            EXPECT_EQ(b, (Px{255 - a.r, 255 - a.g, 255 - a.b})) << x << "," << y;
        }
    EXPECT_GT(changed, 20);
}

TEST(ProgressCylText, VerticalBarFillsFromTheBottom)
{
    QWidget parent;
    CylinderProgressBar bar(&parent);
    bar.resize(30, 108);
    bar.setOrientation(BarOrientation::Vertical);
    bar.setShowText(false);
    // c = 4, H = 108: fill edge reaches row c at Max and stays inside the ring at Min.
    EXPECT_EQ(bar.fillEdge(), 108 - 4 - 2);
    bar.setPosition(100);
    EXPECT_EQ(bar.fillEdge(), 4);
    bar.setPosition(50);
    EXPECT_EQ(bar.fillEdge(), 54);
    bar.setForeColor(rgb(255, 0, 0));
    bar.setBackColor(rgb(0, 0, 255));
    const QImage& image = bar.renderOffscreen();
    EXPECT_GT(pixel(image, 15, 80).r, 100);
    EXPECT_EQ(pixel(image, 15, 80).b, pixel(image, 15, 80).g);
    EXPECT_GT(pixel(image, 15, 30).b, 100);
    EXPECT_EQ(pixel(image, 15, 30).r, pixel(image, 15, 30).g);
}

TEST(ProgressCylEvents, MouseEnterAndLeaveEmitTheirSignals)
{
    QWidget parent;
    CylinderProgressBar bar(&parent);
    int entered = 0;
    int left = 0;
    QObject::connect(&bar, &CylinderProgressBar::mouseEntered, [&] { ++entered; });
    QObject::connect(&bar, &CylinderProgressBar::mouseLeft, [&] { ++left; });
    QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
    QCoreApplication::sendEvent(&bar, &enter);
    QEvent leave(QEvent::Leave);
    QCoreApplication::sendEvent(&bar, &leave);
    EXPECT_EQ(entered, 1);
    EXPECT_EQ(left, 1);
}

TEST(ProgressCylEvents, ProgressDoneIsEmittedOnceEachTimeMaxIsReached)
{
    QWidget parent;
    CylinderProgressBar bar(&parent);
    bar.resize(1000, 22);
    int done = 0;
    QObject::connect(&bar, &CylinderProgressBar::progressDone, [&] { ++done; });
    bar.setMax(1000);
    bar.setPosition(1000);
    bar.setPosition(1000);
    bar.setPosition(5000);
    EXPECT_EQ(done, 1);
    bar.setPosition(999);
    bar.setPosition(1000);
    EXPECT_EQ(done, 2);
}

TEST_F(WindowBar, GlassOrangePresetChangesOnlyColorAndBevelColor)
{
    EXPECT_EQ(bar.proEffect(), ProEffect::Custom);
    EXPECT_EQ(bar.color(), colors::White);
    EXPECT_EQ(bar.bevelColor(), colors::White);
    bar.setProEffect(ProEffect::GlassOrange);
    EXPECT_EQ(bar.proEffect(), ProEffect::GlassOrange);
    EXPECT_EQ(bar.color(), colors::ButtonFace);
    EXPECT_EQ(bar.bevelColor(), colors::ButtonFace);
    EXPECT_EQ(bar.fontShadowColor(), colors::Black);
    EXPECT_EQ(bar.foreColor(), rgb(255, 128, 0));
    EXPECT_EQ(bar.backColor(), rgb(192, 192, 192));
    EXPECT_EQ(bar.foreLineColor(), rgb(128, 0, 0));
    EXPECT_EQ(bar.backBorderColor(), colors::Black);
    EXPECT_EQ(bar.fontEffect(), FontEffect::None);
    EXPECT_EQ(bar.cylinderEffect(), CylinderEffect::Maximum);
    EXPECT_EQ(bar.bevelInner(), BevelCut::None);
    EXPECT_EQ(bar.bevelOuter(), BevelCut::None);
    EXPECT_EQ(bar.borderWidth(), 2);
    EXPECT_TRUE(bar.showText());
    const CylinderStyleValues s4{255, 4.0f, -1.0f, 255, 255, 1.0f, -3.0f};
    EXPECT_EQ(bar.foreStyle().values(), s4);
    EXPECT_EQ(bar.backStyle().values(), s4);
}

TEST(ProEffectPresets, LaterChangesTurnTheLookCustomButFrameDoesNot)
{
    QWidget parent;
    CylinderProgressBar bar(&parent);
    bar.setProEffect(ProEffect::MetalRed);
    bar.setBorderWidth(3);
    EXPECT_EQ(bar.proEffect(), ProEffect::MetalRed);
    bar.setForeColor(rgb(1, 2, 3));
    EXPECT_EQ(bar.proEffect(), ProEffect::Custom);
    bar.setProEffect(ProEffect::GlassBlue);
    bar.setCylinderEffect(CylinderEffect::Low);
    EXPECT_EQ(bar.proEffect(), ProEffect::Custom);
}

TEST(ProEffectPresets, DemonstrationFrames)
{
    QWidget parent;
    CylinderProgressBar bar(&parent);
    bar.setProEffect(ProEffect::DemoMetal);
    EXPECT_FALSE(bar.showText());
    EXPECT_EQ(bar.bevelOuter(), BevelCut::None);
    EXPECT_EQ(bar.bevelInner(), BevelCut::Lowered);
    EXPECT_EQ(bar.fontShadowColor(), colors::White);
    EXPECT_EQ(bar.foreStyle().values(), effects::styleSet(2));

    bar.setProEffect(ProEffect::DemoSunken);
    EXPECT_TRUE(bar.showText());
    EXPECT_EQ(bar.fontEffect(), FontEffect::Invert);
    EXPECT_TRUE(bar.hasInvertOverlay());
    EXPECT_EQ(bar.bevelInner(), BevelCut::Raised);
    EXPECT_EQ(bar.backStyle().values(), effects::styleSet(3));
    EXPECT_EQ(bar.foreStyle().values(), effects::styleSet(1));

    bar.setProEffect(ProEffect::DemoSystem);
    EXPECT_EQ(bar.bevelOuter(), BevelCut::Lowered);
    EXPECT_FALSE(bar.hasInvertOverlay());
    EXPECT_EQ(bar.foreColor(), colors::ButtonFace);
    EXPECT_EQ(bar.backColor(), colors::White);
}

TEST(ProEffectPresets, ApplyingShowsAHiddenBarAndCustomAppliesNothing)
{
    QWidget parent;
    CylinderProgressBar bar(&parent);
    bar.hide();
    bar.setProEffect(ProEffect::Custom);
    EXPECT_TRUE(bar.isHidden());
    bar.setProEffect(ProEffect::StdGreen);
    EXPECT_FALSE(bar.isHidden());
    EXPECT_EQ(bar.backColor(), rgb(0, 128, 64));
}

TEST(ProEffectPresets, OnlyTheUploadPresetsUseHighShading)
{
    QWidget parent;
    CylinderProgressBar bar(&parent);
    for (int index = 0; index < ProEffectCount; ++index) {
        const auto e = static_cast<ProEffect>(index);
        if (e == ProEffect::Custom)
            continue;
        bar.setProEffect(e);
        EXPECT_EQ(bar.proEffect(), e);
        const bool upload = e == ProEffect::UpLoad1 || e == ProEffect::UpLoad2;
        EXPECT_EQ(bar.shadeAmount(), upload ? 204 : 255) << index;
        EXPECT_EQ(bar.fontColor(), colors::Black);
        EXPECT_EQ(bar.color(), colors::ButtonFace);
        // Every assignment passed through its setter: the factors match the colours.
        EXPECT_EQ(bar.backFactors(),
                  shading::colourFactors(colors::channels(bar.backColor()), bar.backStyle().values()));
        EXPECT_EQ(bar.foreFactors(),
                  shading::colourFactors(colors::channels(bar.foreColor()), bar.foreStyle().values()));
    }
}

} // namespace
