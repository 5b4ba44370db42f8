// SPDX-License-Identifier: GPL-3.0-or-later
#include "progress/ProgressWindow.h"
#include "controls/GradientButton.h"
#include "progress/BevelPanel.h"
#include "progress/CylinderProgressBar.h"
#include "progress/GifAnimator.h"

#include <QLabel>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include <atomic>

using namespace stowmere::progress;

namespace {

class ProgressWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        mainWindow.setGeometry(100, 100, 640, 480);
        mainWindow.show();
        frm.setCancelFlag(&cancelFlag);
    }

    QWidget mainWindow;
    ProgressWindow frm{&mainWindow};
    std::atomic<bool> cancelFlag{false};
};

TEST_F(ProgressWindowTest, StartsHiddenWithItsControlsInPlace)
{
    EXPECT_FALSE(frm.isVisible());
    EXPECT_EQ(frm.windowTitle(), QStringLiteral("Progress"));
    EXPECT_EQ(frm.size(), QSize(290, 198));
    EXPECT_TRUE(frm.windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_FALSE(frm.windowFlags() & Qt::WindowMinimizeButtonHint);
    EXPECT_FALSE(frm.windowFlags() & Qt::WindowMaximizeButtonHint);

    const int e = BevelPanel::EdgeWidth;
    EXPECT_EQ(frm.headlineLabel()->geometry(), QRect(8 + e, 16 + e, 270, 24));
    EXPECT_EQ(frm.headlineLabel()->text(), QStringLiteral("Backup in Progress..."));
    EXPECT_EQ(frm.busyAnimation()->geometry(), QRect(120 + e, 64 + e, 32, 32));
    EXPECT_EQ(frm.cancelButton()->geometry(), QRect(219 + e, 64 + e, 41, 41));
    EXPECT_EQ(frm.progressBar()->geometry(), QRect(19 + e, 120 + e, 246, 41));
    EXPECT_EQ(frm.counterCaption()->text(), QStringLiteral("Files copied:"));
    EXPECT_EQ(frm.counterLabel()->text(), QStringLiteral("0"));

    EXPECT_EQ(frm.cancelButton()->toolTip(), QStringLiteral("Stop Backup"));
    EXPECT_TRUE(frm.cancelButton()->caption().isEmpty());
    EXPECT_EQ(frm.cancelButton()->glyph().size(), QSize(32, 32));
    EXPECT_EQ(frm.cancelButton()->focusPolicy(), Qt::StrongFocus);
    EXPECT_EQ(frm.progressBar()->focusPolicy(), Qt::NoFocus);

    EXPECT_TRUE(frm.busyAnimation()->isAnimated());
    EXPECT_TRUE(frm.busyAnimation()->asyncDrawing());
    EXPECT_EQ(frm.busyAnimation()->image().frameCount(), 12);
    EXPECT_EQ(frm.busyAnimation()->frameIndex(), 0) << "the stored index 1 came before the picture";

    EXPECT_EQ(frm.progressBar()->textDone(), QStringLiteral("Backup Complete"));
    EXPECT_EQ(frm.progressBar()->proEffect(), ProEffect::Custom);
    EXPECT_EQ(frm.progressBar()->foreColor(), colors::rgb(255, 128, 0));
}

TEST_F(ProgressWindowTest, FollowsTheRunAndClosesAtTheEnd)
{
    frm.prepareRun(3);
    EXPECT_TRUE(frm.isVisible());
    EXPECT_EQ(frm.barMax(), 3);
    EXPECT_EQ(frm.barPosition(), 0);
    EXPECT_EQ(frm.headline(), QStringLiteral("Backup in Progress..."));
    // Centred over the main window.
    EXPECT_LE(std::abs(frm.frameGeometry().center().x() - mainWindow.frameGeometry().center().x()), 2);
    EXPECT_LE(std::abs(frm.frameGeometry().center().y() - mainWindow.frameGeometry().center().y()), 2);

    for (int i = 0; i < 5; ++i)
        frm.fileCopied();
    EXPECT_EQ(frm.counterLabel()->text(), QStringLiteral("5"));
    EXPECT_EQ(frm.filesCopied(), 5);

    frm.itemDone();
    EXPECT_EQ(frm.progressBar()->displayText(), QStringLiteral("33%"));
    frm.itemDone();
    EXPECT_EQ(frm.progressBar()->displayText(), QStringLiteral("67%"));
    frm.itemDone();
    EXPECT_EQ(frm.progressBar()->displayText(), QStringLiteral("Backup Complete"));
    frm.itemDone();
    EXPECT_EQ(frm.barPosition(), 3) << "the bar stops at its maximum";

    frm.finishRun();
    EXPECT_FALSE(frm.isVisible());
    EXPECT_EQ(frm.barPosition(), 0);

    // The next run starts afresh.
    frm.setHeadline(QStringLiteral("Finalizing..."));
    frm.prepareRun(8);
    EXPECT_EQ(frm.headline(), QStringLiteral("Backup in Progress..."));
    EXPECT_EQ(frm.counterLabel()->text(), QStringLiteral("0"));
    EXPECT_EQ(frm.barMax(), 8);
}

TEST_F(ProgressWindowTest, CancelChangesTheHeadlineAndSetsTheFlagWithoutClosing)
{
    frm.prepareRun(2);
    QSignalSpy spy(&frm, &ProgressWindow::cancelRequested);
    QTest::mouseClick(frm.cancelButton(), Qt::LeftButton, {}, QPoint(20, 20));
    EXPECT_EQ(frm.headline(), QStringLiteral("Finalizing..."));
    EXPECT_TRUE(cancelFlag.load());
    EXPECT_EQ(spy.count(), 1);
    EXPECT_TRUE(frm.isVisible());

    // The run sees the flag after its current item and closes the window.
    frm.itemDone();
    frm.finishRun();
    EXPECT_FALSE(frm.isVisible());
    EXPECT_EQ(frm.headline(), QStringLiteral("Finalizing...")) << "kept until the next run";
}

TEST_F(ProgressWindowTest, TitleBarCloseOnlyHides)
{
    frm.prepareRun(4);
    frm.itemDone();
    EXPECT_TRUE(frm.close());
    EXPECT_FALSE(frm.isVisible());
    EXPECT_FALSE(cancelFlag.load());
    // The run goes on updating the hidden window.
    frm.itemDone();
    frm.fileCopied();
    EXPECT_EQ(frm.barPosition(), 2);
    EXPECT_EQ(frm.filesCopied(), 1);
}

TEST_F(ProgressWindowTest, CancelWithoutAFlagDoesNotCrash)
{
    ProgressWindow lone;
    lone.cancelRun();
    EXPECT_EQ(lone.headline(), QStringLiteral("Finalizing..."));
}

TEST_F(ProgressWindowTest, BusyPictureTurnsWhileShown)
{
    frm.prepareRun(1);
    const int start = frm.busyAnimation()->frameIndex();
    EXPECT_TRUE(QTest::qWaitFor([&] { return frm.busyAnimation()->frameIndex() != start; }, 2000));
}

TEST_F(ProgressWindowTest, WindowPaintsTheBarAndPicture)
{
    frm.prepareRun(4);
    frm.itemDone();
    const QImage shot = frm.grab().toImage();
    ASSERT_EQ(shot.size(), QSize(290, 198));
    // Inside the bar's fore part (orange light line at bar row 15) and the white back part.
    const QPoint bar = frm.progressBar()->geometry().topLeft();
    EXPECT_EQ(QColor(shot.pixel(bar + QPoint(20, 15))), QColor(255, 159, 63));
    EXPECT_EQ(QColor(shot.pixel(bar + QPoint(200, 4 + 1))).red(), 255);
    // A dark spoke somewhere in the busy picture.
    const QRect pic = frm.busyAnimation()->geometry();
    int dark = 0;
    for (int y = pic.top(); y <= pic.bottom(); ++y)
        for (int x = pic.left(); x <= pic.right(); ++x)
            if (qGray(shot.pixel(x, y)) < 120)
                ++dark;
    EXPECT_GT(dark, 5);
    EXPECT_EQ(QColor(shot.pixel(pic.topLeft())), QColor(Qt::white))
        << "the picture's background shows the panel";
}

} // namespace
