// SPDX-License-Identifier: GPL-3.0-or-later
#include "TestSupport.h"

#include "controls/GradientButton.h"
#include "controls/SplitterColors.h"
#include "controls/StyleManager.h"

#include <QDialog>
#include <QLineEdit>
#include <QPainter>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

using namespace stowmere::controls;
using namespace stowmere::controls::testing;

using ProbeButton = Probe<GradientButton>;

namespace {

std::unique_ptr<ProbeButton> ShownButton()
{
    auto button = std::make_unique<ProbeButton>();
    button->show();
    return button;
}

} // namespace

TEST(GradButtonFade, HoverFadesInTenTicksAtTheIntervalOfTheSpeed)
{
    for (const auto& [speed, interval] : {std::pair{FadeSpeed::Medium, 20}, std::pair{FadeSpeed::Slow, 40},
                                          std::pair{FadeSpeed::VeryFast, 8}}) {
        auto button = ShownButton();
        button->setFadeSpeed(speed);
        SendEnter(button.get());
        EXPECT_TRUE(button->Hover());
        EXPECT_TRUE(button->IsFading());
        EXPECT_EQ(button->FadeTimerInterval(), interval);
        ASSERT_TRUE(QTest::qWaitFor([&] { return !button->IsFading(); }, 3000));
        EXPECT_EQ(button->fadeInTicks, 10);
        EXPECT_EQ(button->HoverLevel(), 100);

        SendLeave(button.get());
        EXPECT_FALSE(button->Hover());
        ASSERT_TRUE(QTest::qWaitFor([&] { return !button->IsFading(); }, 3000));
        EXPECT_EQ(button->HoverLevel(), 0);
        // Ten steps down and the tick that finds zero.
        EXPECT_EQ(button->fadeOutTicks, 11);
    }
}

TEST(GradButtonFade, PressShowsTheClickedLookAfterOneTick)
{
    auto button = ShownButton();
    SendMouse(button.get(), QEvent::MouseButtonPress, {5, 5}, Qt::LeftButton);
    EXPECT_TRUE(button->Pressed());
    EXPECT_TRUE(button->Hover());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !button->IsFading(); }));
    ASSERT_GE(button->pressAfterTick.size(), 1u);
    EXPECT_EQ(button->pressAfterTick[0], 100) << "the clicked look is complete after the first tick";
    SendMouse(button.get(), QEvent::MouseButtonRelease, {5, 5}, Qt::NoButton);
    EXPECT_FALSE(button->Pressed());
    ASSERT_TRUE(QTest::qWaitFor([&] { return button->PressLevel() == 0; }));
}

TEST(GradButtonFade, PressDraggedOutAndReleasedOutsideFiresNoClick)
{
    auto button = ShownButton();
    int clicks = 0;
    QObject::connect(button.get(), &GradientControl::clicked, [&] { ++clicks; });
    SendEnter(button.get());
    SendMouse(button.get(), QEvent::MouseButtonPress, {5, 5}, Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return button->PressLevel() == 100; }));
    SendMouse(button.get(), QEvent::MouseMove, {200, 80}, Qt::LeftButton);
    EXPECT_FALSE(button->Hover());
    ASSERT_TRUE(QTest::qWaitFor([&] { return button->PressLevel() == 0; }));
    SendMouse(button.get(), QEvent::MouseButtonRelease, {200, 80}, Qt::NoButton);
    SendLeave(button.get());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !button->IsFading(); }, 3000));
    EXPECT_EQ(button->HoverLevel(), 0);
    EXPECT_EQ(clicks, 0);

    SendEnter(button.get());
    SendMouse(button.get(), QEvent::MouseButtonPress, {5, 5}, Qt::LeftButton);
    SendMouse(button.get(), QEvent::MouseButtonRelease, {6, 6}, Qt::NoButton);
    EXPECT_EQ(clicks, 1);
    // A double click reaches the button as a second single click.
    SendMouse(button.get(), QEvent::MouseButtonDblClick, {5, 5}, Qt::LeftButton);
    SendMouse(button.get(), QEvent::MouseButtonRelease, {5, 5}, Qt::NoButton);
    EXPECT_EQ(clicks, 2);
}

TEST(GradButtonGroup, LatchesAndReleasesByTheGroupRules)
{
    QWidget parent;
    auto* a = new GradientButton(&parent);
    auto* b = new GradientButton(&parent);
    auto* loose = new GradientButton(&parent);
    QWidget otherParent;
    auto* elsewhere = new GradientButton(&otherParent);
    for (GradientButton* button : {a, b, elsewhere})
        button->SetGroupIndex(1);

    loose->SetDown(true);
    EXPECT_FALSE(loose->Down()); // GroupIndex 0 ignores Down

    elsewhere->Click();
    a->Click();
    EXPECT_TRUE(a->Down());
    EXPECT_TRUE(a->Pressed());
    a->Click();
    EXPECT_TRUE(a->Down()) << "AllowAllUp False keeps the last button down";
    b->Click();
    EXPECT_TRUE(b->Down());
    EXPECT_FALSE(a->Down());
    EXPECT_FALSE(a->Pressed());
    EXPECT_TRUE(elsewhere->Down()) << "another parent's group is untouched";

    b->SetAllowAllUp(true);
    b->Click();
    EXPECT_FALSE(b->Down());
}

TEST(GradButtonGroup, LatchedButtonKeepsItsLookWhenThePointerLeaves)
{
    QWidget parent;
    auto* button = new GradientButton(&parent);
    parent.show();
    button->SetGroupIndex(2);
    button->SetDown(true);
    ASSERT_TRUE(QTest::qWaitFor([&] { return button->PressLevel() == 100; }));
    SendLeave(button);
    EXPECT_TRUE(button->Hover());
    EXPECT_EQ(button->PressLevel(), 100);
}

TEST(GradButtonKeys, EnterEscapeAndSpace)
{
    QWidget window;
    auto* edit = new QLineEdit(&window);
    auto* ok = new GradientButton(&window);
    auto* cancel = new GradientButton(&window);
    auto* plain = new GradientButton(&window);
    int okClicks = 0;
    int cancelClicks = 0;
    int plainClicks = 0;
    QObject::connect(ok, &GradientControl::clicked, [&] { ++okClicks; });
    QObject::connect(cancel, &GradientControl::clicked, [&] { ++cancelClicks; });
    QObject::connect(plain, &GradientControl::clicked, [&] { ++plainClicks; });
    ok->SetDefault(true);
    cancel->SetCancel(true);
    window.show();
    QApplication::setActiveWindow(&window);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));

    plain->setFocus();
    QTest::keyClick(plain, Qt::Key_Return);
    EXPECT_EQ(plainClicks, 1) << "Enter clicks the focused button";
    EXPECT_EQ(okClicks, 0);

    edit->setFocus();
    QTest::keyClick(edit, Qt::Key_Return);
    EXPECT_EQ(okClicks, 1) << "Enter elsewhere clicks the default button";

    QTest::keyClick(edit, Qt::Key_Escape, Qt::ShiftModifier);
    EXPECT_EQ(cancelClicks, 0) << "Escape with a modifier does nothing";
    QTest::keyClick(edit, Qt::Key_Escape);
    EXPECT_EQ(cancelClicks, 1);

    plain->setFocus();
    QTest::keyPress(plain, Qt::Key_Space);
    EXPECT_EQ(plainClicks, 2) << "space clicks on key-down";
    QTest::keyPress(plain, Qt::Key_Space, Qt::NoModifier, -1);
    QTest::keyRelease(plain, Qt::Key_Space);
    EXPECT_EQ(plainClicks, 3);
    QTest::keyClick(plain, Qt::Key_Space, Qt::ControlModifier);
    EXPECT_EQ(plainClicks, 3);

    ok->setEnabled(false);
    edit->setFocus();
    QTest::keyClick(edit, Qt::Key_Return);
    EXPECT_EQ(okClicks, 1) << "a disabled default button cannot take the focus";
}

TEST(GradButtonKeys, DefaultButtonInsideAPanelAddedToItsWindowLater)
{
    auto* holder = new QWidget;
    auto* ok = new GradientButton(holder);
    ok->SetDefault(true);
    int clicks = 0;
    QObject::connect(ok, &GradientControl::clicked, [&] { ++clicks; });
    QWidget window;
    auto* edit = new QLineEdit(&window);
    holder->setParent(&window);
    window.show();
    QApplication::setActiveWindow(&window);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    edit->setFocus();
    QTest::keyClick(edit, Qt::Key_Enter);
    EXPECT_EQ(clicks, 1);
}

TEST(GradButtonClick, SetsTheModalResultOfItsDialog)
{
    QDialog dialog;
    auto* save = new GradientButton(&dialog);
    auto* neutral = new GradientButton(&dialog);
    save->SetModalResult(QDialog::Accepted);
    dialog.setModal(true);
    dialog.show();
    neutral->Click();
    EXPECT_TRUE(dialog.isVisible()) << "a modal result of 0 closes nothing";
    save->Click();
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
}

namespace {

Color FacePixel(GradientButton& button, int x, int y)
{
    return button.RenderFace().pixel(x, y);
}

} // namespace

TEST(GradButtonPaint, FrameCornersAndPressedBand)
{
    GradientButton button;
    button.resize(40, 20);
    button.setColor(Color::rgb(3, 171, 73));
    button.SetShowCaption(false);
    const Image24 face = button.RenderFace();
    EXPECT_EQ(face.pixel(0, 0), Color::rgb(3, 171, 73)) << "frame colour shows outside the rounded corner";
    EXPECT_EQ(face.pixel(39, 19), Color::rgb(3, 171, 73));
    EXPECT_EQ(face.pixel(10, 0), button.Colors().BorderColor());
    EXPECT_EQ(face.pixel(1, 1), button.Colors().BorderColor());
    EXPECT_EQ(face.pixel(0, 10), button.Colors().BorderColor());
    // The default gradient is copied one pixel right and down.
    EXPECT_EQ(face.pixel(5, 2), button.DefaultImage().pixel(4, 1));
}

TEST(GradButtonPaint, ClickedGradientCoversTheFaceOrLeavesAThreePixelBand)
{
    for (const bool gradientBorder : {false, true}) {
        ProbeButton button;
        button.resize(40, 20);
        button.SetShowCaption(false);
        button.SetGradientBorder(gradientBorder);
        button.show();
        SendMouse(&button, QEvent::MouseButtonPress, {5, 5}, Qt::LeftButton);
        ASSERT_TRUE(QTest::qWaitFor([&] { return button.PressLevel() == 100; }));
        const Image24 face = button.RenderFace();
        const int inner = gradientBorder ? 3 : 0;
        // Row 2 carries the focus rectangle; rows 1 and 5 show the layers.
        EXPECT_EQ(face.pixel(20, inner + 5), button.ClickedImage().pixel(20 - inner, 5)) << gradientBorder;
        if (gradientBorder) {
            EXPECT_EQ(face.pixel(20, 1), button.DefaultImage().pixel(19, 0));
        } else {
            EXPECT_EQ(face.pixel(20, 1), button.ClickedImage().pixel(20, 1));
        }
    }
}

TEST(GradButtonPaint, AmpersandIsDrawnLiterallyAndLongCaptionsEndInAnEllipsis)
{
    GradientButton plain;
    GradientButton ampersand;
    for (GradientButton* button : {&plain, &ampersand}) {
        button->resize(120, 25);
        button->SetTextShadow(false);
    }
    plain.SetCaption(QStringLiteral("AB"));
    ampersand.SetCaption(QStringLiteral("A&B"));
    auto inkWidth = [](GradientButton& button) {
        const Image24 face = button.RenderFace();
        int left = face.width();
        int right = -1;
        for (int y = 3; y < face.height() - 3; ++y)
            for (int x = 3; x < face.width() - 3; ++x)
                if (face.pixel(x, y) == colors::Black || face.pixel(x, y).red() < 60) {
                    left = std::min(left, x);
                    right = std::max(right, x);
                }
        return right - left;
    };
    EXPECT_GT(inkWidth(ampersand), inkWidth(plain) + 4);

    GradientButton narrow;
    narrow.resize(40, 25);
    narrow.SetCaption(QStringLiteral("Incremental Backup"));
    const int narrowInk = inkWidth(narrow);
    EXPECT_GT(narrowInk, 10);
    EXPECT_LT(narrowInk, 40);
}

TEST(GradButtonPaint, DisabledGlyphTurnsGrey)
{
    QImage glyph(4, 4, QImage::Format_RGB32);
    glyph.fill(QColor(255, 0, 255));
    glyph.setPixelColor(1, 1, QColor(0, 30, 60)); // grey 30, plus 64
    GradientButton button;
    button.resize(30, 30);
    button.SetGlyph(glyph);
    // No caption: the text rectangle starts at 4 + 2, so x = (6 + 30 - 2) div 2 - 4 = 13,
    // y = (30 - 4) div 2 = 13.
    EXPECT_EQ(FacePixel(button, 14, 14), Color::rgb(0, 30, 60));
    EXPECT_EQ(FacePixel(button, 13, 13), button.DefaultImage().pixel(12, 12)) << "magenta is transparent";
    button.setEnabled(false);
    EXPECT_EQ(FacePixel(button, 14, 14), Color::rgb(94, 94, 94));
    EXPECT_EQ(FacePixel(button, 13, 13), button.DefaultImage().pixel(12, 12));
    button.SetSpacing(-3);
    EXPECT_EQ(button.Spacing(), 0);
}

TEST(GradButtonPaint, EmptyButtonPaintsNothingAndDoesNotFail)
{
    GradientButton button;
    button.SetCaption(QStringLiteral("Backup"));
    button.resize(0, 0);
    EXPECT_TRUE(button.RenderFace().isEmpty());
    button.resize(1, 1);
    EXPECT_EQ(button.RenderFace().width(), 1);
}

TEST(GradControlColors, GradientColoursRebuildPaintColoursRepaintEqualValuesDoNothing)
{
    ProbeButton button;
    const int before = button.rebuilds;
    EditColors(button, [](ControlColors& c) { c.SetOverTo(c.OverTo()); });
    EXPECT_EQ(button.rebuilds, before);
    EditColors(button, [](ControlColors& c) { c.SetOverTo(Color::rgb(200, 0, 0)); });
    EXPECT_EQ(button.rebuilds, before + 1);
    // White to (200, 0, 0) over 25 rows, last row one step short: 255 - 2.2 * 24, 255 - 10.2 * 24.
    EXPECT_EQ(button.OverImage().pixel(0, 24), Color::rgb(202, 10, 10));
    EditColors(button, [](ControlColors& c) { c.SetBorderColor(Color::rgb(1, 1, 1)); });
    EditColors(button, [](ControlColors& c) { c.SetClickedTo(Color::rgb(1, 2, 1)); });
    EXPECT_EQ(button.rebuilds, before + 3);
    EditColors(button, [](ControlColors& c) {
        c.SetHotTrack(Color::rgb(9, 9, 9));
        c.SetTextShadow(Color::rgb(8, 8, 8));
    });
    EXPECT_EQ(button.rebuilds, before + 3) << "paint-time colours only repaint";
    EXPECT_EQ(button.Colors().TextShadow(), Color::rgb(8, 8, 8));
    button.setGradientType(GradientType::Vertical);
    EXPECT_EQ(button.rebuilds, before + 3);
    button.setGradientType(GradientType::Horizontal);
    EXPECT_EQ(button.rebuilds, before + 4);
}

TEST(GradControlColors, SetsAreValuesAndAPlainSetCopiesOnlyItsFourColours)
{
    ControlColors source;
    source.SetDefaultFrom(Color::rgb(1, 0, 0));
    source.SetOverTo(Color::rgb(2, 0, 0));
    source.SetClickedFrom(Color::rgb(3, 0, 0));
    source.SetHotTrack(Color::rgb(4, 0, 0));
    source.SetTextShadow(Color::rgb(5, 0, 0));
    ControlColors copy = source;
    EXPECT_EQ(copy, source);
    copy.SetHotTrack(Color::rgb(6, 0, 0));
    EXPECT_NE(copy, source) << "a copy is a value of its own";
    EXPECT_EQ(source.HotTrack(), Color::rgb(4, 0, 0));

    ProbeButton button;
    const int before = button.rebuilds;
    button.SetColors(source);
    EXPECT_EQ(button.rebuilds, before + 1) << "the control's setter rebuilds once";
    EXPECT_EQ(button.Colors(), source);

    // The four shared colours come from a splitter set; the control's own five stay.
    SplitterColors splitter;
    EXPECT_EQ(splitter.DefaultFrom(), colors::ButtonFace);
    static_cast<GradientColors&>(copy) = splitter;
    EXPECT_EQ(copy.DefaultFrom(), colors::ButtonFace);
    EXPECT_EQ(copy.OverTo(), splitter.OverTo());
    EXPECT_EQ(copy.ClickedFrom(), Color::rgb(3, 0, 0));
    EXPECT_EQ(copy.HotTrack(), Color::rgb(6, 0, 0));
    static_cast<GradientColors&>(splitter) = source;
    EXPECT_EQ(splitter.OverTo(), Color::rgb(2, 0, 0));
}
