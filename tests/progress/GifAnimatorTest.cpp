// SPDX-License-Identifier: GPL-3.0-or-later
#include "GifBuilder.h"

#include "progress/GifAnimator.h"
#include "progress/GifComposer.h"
#include "progress/GifError.h"
#include "progress/ProgressResources.h"

#include <QTest>
#include <QThread>
#include <QWidget>

#include <gif_lib.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace stowmere::progress;

namespace {

// Palette of the disposal pictures: 0 white, 1 red, 2 green, 3 yellow (background), 4 blue.
const std::vector<GifBuilder::Rgb> Colours{
    {255, 255, 255}, {255, 0, 0}, {0, 255, 0}, {255, 255, 0}, {0, 0, 255}};
const QRgb White = qRgb(255, 255, 255);
const QRgb Red = qRgb(255, 0, 0);
const QRgb Green = qRgb(0, 255, 0);
const QRgb Yellow = qRgb(255, 255, 0);
const QRgb Blue = qRgb(0, 0, 255);

GifPicture decode(const GifBuilder& builder)
{
    const std::vector<std::byte> bytes = builder.bytes();
    return GifPicture::decode(bytes);
}

// Frame 0 fills the 4 x 4 screen red; frame 1 (with the disposal under test) puts
// a green 2 x 2 square at (1, 1); frame 2 puts one blue pixel at (0, 0) and has a
// transparent index, so the picture counts as transparent and its background is
// the global table's yellow.
GifPicture disposalPicture(int disposal)
{
    return decode(GifBuilder(4, 4, Colours, 3)
                      .frame(0, 0, 4, 4, 1, 1)
                      .frame(1, 1, 2, 2, 2, disposal)
                      .frame(0, 0, 1, 1, 4, 1, 0));
}

std::vector<QRgb> pixels(const QImage& image)
{
    std::vector<QRgb> out;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            out.push_back(image.pixel(x, y) | 0xFF000000u);
    return out;
}

std::vector<QRgb> expectedAfterFrame2(int disposal)
{
    std::vector<QRgb> out(16, Red);
    if (disposal <= 1)
        out[5] = out[6] = out[9] = out[10] = Green;
    else if (disposal == 2)
        out[5] = out[6] = out[9] = out[10] = Yellow;
    out[0] = Blue;
    return out;
}

class Disposal : public ::testing::TestWithParam<int> {};

TEST_P(Disposal, StepByStepAndFromScratchGiveTheSamePixels)
{
    const int disposal = GetParam();
    const GifPicture picture = disposalPicture(disposal);
    ASSERT_EQ(picture.frameCount(), 3);
    EXPECT_EQ(picture.frame(1).disposal, disposal);
    EXPECT_EQ(picture.backgroundColour(), Yellow);
    EXPECT_TRUE(picture.countsAsTransparent());

    GifComposer stepping;
    stepping.compose(picture, 0, true);
    EXPECT_EQ(pixels(stepping.compose(picture, 1, true))[5], Green);
    EXPECT_TRUE(stepping.lastWasIncremental());
    const std::vector<QRgb> stepped = pixels(stepping.compose(picture, 2, true));
    EXPECT_EQ(stepping.lastWasIncremental(), disposal != 3);
    EXPECT_EQ(stepped, expectedAfterFrame2(disposal));

    GifComposer fresh;
    EXPECT_EQ(pixels(fresh.compose(picture, 2, true)), expectedAfterFrame2(disposal));
    EXPECT_FALSE(fresh.lastWasIncremental());
    EXPECT_FALSE(fresh.keyColour().has_value()) << "frame 0 has no transparent colour";
}

INSTANTIATE_TEST_SUITE_P(Methods, Disposal, ::testing::Values(0, 1, 2, 3));

TEST(GifComposer, KeyColourFromTheFirstFrameIsSeeThrough)
{
    // Frame 0: a red left half over a transparent white screen; frame 1 a green
    // column; the untouched pixels stay see-through.
    GifBuilder::Frame first;
    first.width = 4;
    first.height = 2;
    first.indices = {1, 1, 0, 0, 1, 1, 0, 0};
    first.disposal = 1;
    first.transparentIndex = 0;
    const GifPicture picture = decode(GifBuilder(4, 2, Colours).frame(first).frame(3, 0, 1, 2, 2, 1, 0));
    GifComposer composer;
    composer.compose(picture, 1, true);
    ASSERT_EQ(composer.keyColour(), White);
    const QImage shown = composer.displayImage();
    EXPECT_EQ(shown.pixel(0, 0), Red | 0xFF000000u);
    EXPECT_EQ(qAlpha(shown.pixel(2, 0)), 0);
    EXPECT_EQ(shown.pixel(3, 1), Green | 0xFF000000u);

    GifComposer opaque;
    opaque.compose(picture, 1, false);
    EXPECT_EQ(opaque.displayImage().pixel(2, 0) | 0xFF000000u, White | 0xFF000000u);
}

TEST(GifComposer, StartsFromTheLastFullOpaqueFrame)
{
    // Frame 1 covers the screen without transparency: frame 0 no longer matters.
    const GifPicture picture = decode(
        GifBuilder(2, 2, Colours, 3).frame(0, 0, 2, 2, 1, 1).frame(0, 0, 2, 2, 4, 1).frame(1, 1, 1, 1, 2, 1));
    GifComposer composer;
    EXPECT_EQ(pixels(composer.compose(picture, 2, true)), (std::vector<QRgb>{Blue, Blue, Blue, Green}));
    // Asking past the last frame shows the last frame.
    GifComposer past;
    EXPECT_EQ(pixels(past.compose(picture, 9, true)), (std::vector<QRgb>{Blue, Blue, Blue, Green}));
    EXPECT_EQ(past.cachedIndex(), 2);
}

TEST(GifPicture, DamagedBytesAreReportedNotRead)
{
    std::vector<std::byte> bytes = GifBuilder(4, 4, Colours).frame(0, 0, 4, 4, 1, 1).bytes();
    const std::vector<std::byte> notGif(bytes.size(), std::byte{'x'});
    try {
        GifPicture::decode(notGif);
        FAIL() << "not a GIF was read";
    } catch (const GifError& e) {
        EXPECT_EQ(e.code(), D_GIF_ERR_NOT_GIF_FILE);
    }
    for (std::size_t keep : {std::size_t{0}, std::size_t{10}, bytes.size() / 2, bytes.size() - 3}) {
        const std::vector<std::byte> cut(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(keep));
        EXPECT_THROW(GifPicture::decode(cut), GifError) << keep;
    }
    EXPECT_THROW(GifPicture::load(QStringLiteral("/nonexistent/busy.gif")), GifError);
}

TEST(GifPicture, HugeLogicalScreenIsRefused)
{
    const std::vector<std::byte> bytes = GifBuilder(65535, 65535, Colours).frame(0, 0, 1, 1, 1, 1).bytes();
    try {
        GifPicture::decode(bytes);
        FAIL() << "a 65535 x 65535 screen was accepted";
    } catch (const GifError& e) {
        EXPECT_EQ(e.code(), D_GIF_ERR_NOT_ENOUGH_MEM);
    }
    EXPECT_NO_THROW(GifPicture::decode(GifBuilder(4096, 4096, Colours).frame(0, 0, 1, 1, 1, 1).bytes()));
}

TEST(GifPicture, FrameDetailsComeFromThePicture)
{
    const GifPicture picture = decode(GifBuilder(8, 6, Colours, 9)
                                          .frame(0, 0, 8, 6, 1, 1, -1, 0)
                                          .frame(2, 3, 4, 2, 2, 2, 0, 2000)
                                          .frame(1, 1, 1, 1, 4, 3, 7, 7));
    EXPECT_EQ(picture.width(), 8);
    EXPECT_EQ(picture.height(), 6);
    EXPECT_FALSE(picture.backgroundColour().has_value()) << "index 9 lies outside the table";
    const GifFrame& f = picture.frame(1);
    EXPECT_EQ(f.left, 2);
    EXPECT_EQ(f.top, 3);
    EXPECT_EQ(f.width, 4);
    EXPECT_EQ(f.height, 2);
    EXPECT_EQ(f.disposal, 2);
    EXPECT_EQ(f.delayMs, 20000);
    EXPECT_EQ(f.transparentColour, White);
    EXPECT_EQ(picture.frame(2).disposal, 3);
    EXPECT_EQ(picture.frame(2).transparentColour, qRgb(0, 0, 0)) << "index 7 is a padding entry";
    EXPECT_FALSE(picture.frame(0).transparentColour.has_value());
}

class Animator : public ::testing::Test {
protected:
    void SetUp() override
    {
        parent.resize(100, 100);
        parent.show();
    }

    QWidget parent;
    GifAnimator animator{&parent};
};

TEST_F(Animator, DelaysAreClampedAndOneFrameNeverTicks)
{
    animator.setImage(
        decode(GifBuilder(8, 6, Colours).frame(0, 0, 8, 6, 1, 1, -1, 0).frame(0, 0, 2, 2, 2, 1, -1, 2000)));
    EXPECT_EQ(animator.frameDelay(0), 50);
    EXPECT_EQ(animator.frameDelay(1), 10000);
    EXPECT_EQ(animator.frameDelay(2), 0);
    EXPECT_EQ(animator.frameDelay(-1), 0);
    EXPECT_EQ(animator.size(), QSize(8, 6)) << "AutoSize takes the logical screen";

    int changes = 0;
    QObject::connect(&animator, &GifAnimator::frameChanged, [&] { ++changes; });
    animator.setImage(decode(GifBuilder(4, 4, Colours).frame(0, 0, 4, 4, 1, 1, -1, 0)));
    EXPECT_EQ(animator.frameDelay(0), 0);
    animator.setAnimate(true);
    EXPECT_TRUE(animator.isAnimated());
    EXPECT_FALSE(animator.timerActive());
    QTest::qWait(120); // nothing to wait for: a tick must not happen at all
    EXPECT_EQ(changes, 0);
    EXPECT_EQ(animator.frameIndex(), 0);
}

TEST_F(Animator, FrameIndexRulesAndEvents)
{
    int changes = 0;
    int started = 0;
    int stopped = 0;
    QObject::connect(&animator, &GifAnimator::frameChanged, [&] { ++changes; });
    QObject::connect(&animator, &GifAnimator::started, [&] { ++started; });
    QObject::connect(&animator, &GifAnimator::stopped, [&] { ++stopped; });
    animator.setFrameIndex(1);
    EXPECT_EQ(animator.frameIndex(), 0) << "no picture yet";
    animator.setImage(disposalPicture(1));
    animator.setFrameIndex(3);
    animator.setFrameIndex(-1);
    animator.setFrameIndex(0);
    EXPECT_EQ(changes, 0);
    animator.setFrameIndex(2);
    EXPECT_EQ(animator.frameIndex(), 2);
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(animator.timerInterval(), 100);

    // Without Loop the animation stops when it comes round to frame 0.
    animator.setLoop(false);
    animator.setAnimate(true);
    EXPECT_EQ(started, 1);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !animator.isAnimated(); }, 3000));
    EXPECT_EQ(animator.frameIndex(), 0);
    EXPECT_EQ(stopped, 1);
    EXPECT_EQ(changes, 2);
}

TEST_F(Animator, BusyPictureTurnsRoundAndRound)
{
    resources::init();
    const GifPicture busy = GifPicture::load(resources::busyPicture());
    ASSERT_EQ(busy.frameCount(), 12);
    EXPECT_EQ(busy.width(), 32);
    EXPECT_EQ(busy.height(), 32);
    EXPECT_TRUE(busy.hasPalette());
    for (int i = 0; i < 12; ++i) {
        const GifFrame& f = busy.frame(i);
        EXPECT_EQ(f.delayMs, 100);
        EXPECT_EQ(f.disposal, 1);
        EXPECT_EQ(f.transparentIndex, 0);
        EXPECT_EQ(f.colours.size(), 256u);
        EXPECT_EQ(f.width * f.height == 32 * 32, i == 0) << i;
    }

    std::vector<int> seen;
    QObject::connect(&animator, &GifAnimator::frameChanged, [&] { seen.push_back(animator.frameIndex()); });
    animator.setImage(busy);
    animator.setAnimate(true);
    EXPECT_TRUE(QTest::qWaitFor([&] { return seen.size() >= 13; }, 5000));
    ASSERT_GE(seen.size(), 13u);
    for (std::size_t i = 0; i < 13; ++i)
        EXPECT_EQ(seen[i], static_cast<int>((i + 1) % 12));
    EXPECT_TRUE(animator.isAnimated());

    // Composed frames differ (the dark group moves) and the spokes' background is see-through.
    GifComposer composer;
    const QImage a = composer.compose(busy, 0, true).copy();
    const QImage b = composer.compose(busy, 1, true).copy();
    EXPECT_NE(a, b);
    EXPECT_EQ(qAlpha(composer.displayImage().pixel(0, 0)), 0);
    EXPECT_EQ(qAlpha(composer.displayImage().pixel(16, 3)), 255);
}

TEST_F(Animator, CenterAndStretchPlaceTheFrame)
{
    int changes = 0;
    QObject::connect(&animator, &GifAnimator::changed, [&] { ++changes; });
    animator.setAutoSize(false);
    animator.resize(21, 10);
    animator.setImage(decode(GifBuilder(4, 4, Colours).frame(0, 0, 4, 4, 1, 1)));
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(animator.size(), QSize(21, 10)) << "AutoSize off keeps the size";

    QImage shot = animator.grab().toImage();
    EXPECT_EQ(QColor(shot.pixel(0, 0)), QColor(Red));
    EXPECT_NE(QColor(shot.pixel(4, 0)), QColor(Red));

    animator.setCenter(true);
    shot = animator.grab().toImage();
    EXPECT_NE(QColor(shot.pixel(0, 0)), QColor(Red));
    EXPECT_EQ(QColor(shot.pixel(8, 3)), QColor(Red)) << "(21 - 4) div 2 = 8, (10 - 4) div 2 = 3";
    EXPECT_EQ(QColor(shot.pixel(11, 6)), QColor(Red));
    EXPECT_NE(QColor(shot.pixel(12, 6)), QColor(Red));

    animator.setStretch(true);
    shot = animator.grab().toImage();
    EXPECT_EQ(QColor(shot.pixel(0, 0)), QColor(Red));
    EXPECT_EQ(QColor(shot.pixel(20, 9)), QColor(Red));
}

TEST_F(Animator, HiddenAnimatorDoesNotAdvance)
{
    animator.setImage(disposalPicture(1));
    animator.hide();
    animator.setAnimate(true);
    QTest::qWait(250); // a tick happens every 100 ms; it must find the control hidden
    EXPECT_EQ(animator.frameIndex(), 0);
    animator.show();
    EXPECT_TRUE(QTest::qWaitFor([&] { return animator.frameIndex() != 0; }, 2000));
}

TEST_F(Animator, FrameTimingHoldsABlockedUserInterfaceThread)
{
    animator.setImage(disposalPicture(1)); // every frame 100 ms
    int steps = 0;
    bool blocked = false;
    QObject::connect(&animator, &GifAnimator::frameChanged, [&] {
        // The third step holds the thread as a long handler would: the next step comes at
        // least 300 ms after it, 200 ms later than the frame's delay.
        if (++steps == 3 && !blocked) {
            blocked = true;
            QThread::msleep(300);
        }
    });
    animator.setAnimate(true);
    EXPECT_TRUE(QTest::qWaitFor([&] { return steps >= 5; }, 5000));
    const GifAnimator::FrameTiming timing = animator.frameTiming();
    EXPECT_GE(timing.steps, 5);
    EXPECT_GE(timing.worstLateMs, 200);
    EXPECT_GE(timing.totalLateMs, timing.worstLateMs);

    // A new start counts afresh; steps while hidden are not timed, so a long hidden spell
    // is no late frame.
    animator.setAnimate(false);
    animator.setAnimate(true);
    EXPECT_EQ(animator.frameTiming().steps, 0);
    EXPECT_EQ(animator.frameTiming().worstLateMs, 0);
    animator.hide();
    QTest::qWait(800);
    const int before = steps;
    animator.show();
    EXPECT_TRUE(QTest::qWaitFor([&] { return steps >= before + 2; }, 5000));
    EXPECT_LT(animator.frameTiming().worstLateMs, 600) << "the hidden 800 ms were counted";
}

} // namespace
