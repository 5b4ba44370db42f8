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

std::unique_ptr<ProbeButton> shownButton()
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
        auto button = shownButton();
        button->setFadeSpeed(speed);
        sendEnter(button.get());
        EXPECT_TRUE(button->isHovered());
        EXPECT_TRUE(button->isFading());
        EXPECT_EQ(button->fadeTimerInterval(), interval);
        ASSERT_TRUE(QTest::qWaitFor([&] { return !button->isFading(); }, 3000));
        EXPECT_EQ(button->fadeInTicks, 10);
        EXPECT_EQ(button->hoverLevel(), 100);

        sendLeave(button.get());
        EXPECT_FALSE(button->isHovered());
        ASSERT_TRUE(QTest::qWaitFor([&] { return !button->isFading(); }, 3000));
        EXPECT_EQ(button->hoverLevel(), 0);
        // Ten steps down and the tick that finds zero.
        EXPECT_EQ(button->fadeOutTicks, 11);
    }
}

TEST(GradButtonFade, PressShowsTheClickedLookAfterOneTick)
{
    auto button = shownButton();
    sendMouse(button.get(), QEvent::MouseButtonPress, {5, 5}, Qt::LeftButton);
    EXPECT_TRUE(button->isPressed());
    EXPECT_TRUE(button->isHovered());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !button->isFading(); }));
    ASSERT_GE(button->pressAfterTick.size(), 1u);
    EXPECT_EQ(button->pressAfterTick[0], 100) << "the clicked look is complete after the first tick";
    sendMouse(button.get(), QEvent::MouseButtonRelease, {5, 5}, Qt::NoButton);
    EXPECT_FALSE(button->isPressed());
    ASSERT_TRUE(QTest::qWaitFor([&] { return button->pressLevel() == 0; }));
}

TEST(GradButtonFade, PressDraggedOutAndReleasedOutsideFiresNoClick)
{
    auto button = shownButton();
    int clicks = 0;
    QObject::connect(button.get(), &GradientControl::clicked, [&] { ++clicks; });
    sendEnter(button.get());
    sendMouse(button.get(), QEvent::MouseButtonPress, {5, 5}, Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return button->pressLevel() == 100; }));
    sendMouse(button.get(), QEvent::MouseMove, {200, 80}, Qt::LeftButton);
    EXPECT_FALSE(button->isHovered());
    ASSERT_TRUE(QTest::qWaitFor([&] { return button->pressLevel() == 0; }));
    sendMouse(button.get(), QEvent::MouseButtonRelease, {200, 80}, Qt::NoButton);
    sendLeave(button.get());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !button->isFading(); }, 3000));
    EXPECT_EQ(button->hoverLevel(), 0);
    EXPECT_EQ(clicks, 0);

    sendEnter(button.get());
    sendMouse(button.get(), QEvent::MouseButtonPress, {5, 5}, Qt::LeftButton);
    sendMouse(button.get(), QEvent::MouseButtonRelease, {6, 6}, Qt::NoButton);
    EXPECT_EQ(clicks, 1);
    // A double click reaches the button as a second single click.
    sendMouse(button.get(), QEvent::MouseButtonDblClick, {5, 5}, Qt::LeftButton);
    sendMouse(button.get(), QEvent::MouseButtonRelease, {5, 5}, Qt::NoButton);
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
        button->setGroupIndex(1);

    loose->setDown(true);
    EXPECT_FALSE(loose->isDown()); // GroupIndex 0 ignores Down

    elsewhere->click();
    a->click();
    EXPECT_TRUE(a->isDown());
    EXPECT_TRUE(a->isPressed());
    a->click();
    EXPECT_TRUE(a->isDown()) << "AllowAllUp False keeps the last button down";
    b->click();
    EXPECT_TRUE(b->isDown());
    EXPECT_FALSE(a->isDown());
    EXPECT_FALSE(a->isPressed());
    EXPECT_TRUE(elsewhere->isDown()) << "another parent's group is untouched";

    b->setAllowAllUp(true);
    b->click();
    EXPECT_FALSE(b->isDown());
}

TEST(GradButtonGroup, LatchedButtonKeepsItsLookWhenThePointerLeaves)
{
    QWidget parent;
    auto* button = new GradientButton(&parent);
    parent.show();
    button->setGroupIndex(2);
    button->setDown(true);
    ASSERT_TRUE(QTest::qWaitFor([&] { return button->pressLevel() == 100; }));
    sendLeave(button);
    EXPECT_TRUE(button->isHovered());
    EXPECT_EQ(button->pressLevel(), 100);
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
    ok->setDefault(true);
    cancel->setCancel(true);
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
    ok->setDefault(true);
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
    save->setModalResult(QDialog::Accepted);
    dialog.setModal(true);
    dialog.show();
    neutral->click();
    EXPECT_TRUE(dialog.isVisible()) << "a modal result of 0 closes nothing";
    save->click();
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
}

namespace {

Color facePixel(GradientButton& button, int x, int y)
{
    return button.renderFace().pixel(x, y);
}

} // namespace

TEST(GradButtonPaint, FrameCornersAndPressedBand)
{
    GradientButton button;
    button.resize(40, 20);
    button.setColor(Color::rgb(3, 171, 73));
    button.setShowCaption(false);
    const Image24 face = button.renderFace();
    EXPECT_EQ(face.pixel(0, 0), Color::rgb(3, 171, 73)) << "frame colour shows outside the rounded corner";
    EXPECT_EQ(face.pixel(39, 19), Color::rgb(3, 171, 73));
    EXPECT_EQ(face.pixel(10, 0), button.colors().borderColor());
    EXPECT_EQ(face.pixel(1, 1), button.colors().borderColor());
    EXPECT_EQ(face.pixel(0, 10), button.colors().borderColor());
    // The default gradient is copied one pixel right and down.
    EXPECT_EQ(face.pixel(5, 2), button.defaultImage().pixel(4, 1));
}

TEST(GradButtonPaint, ClickedGradientCoversTheFaceOrLeavesAThreePixelBand)
{
    for (const bool gradientBorder : {false, true}) {
        ProbeButton button;
        button.resize(40, 20);
        button.setShowCaption(false);
        button.setGradientBorder(gradientBorder);
        button.show();
        sendMouse(&button, QEvent::MouseButtonPress, {5, 5}, Qt::LeftButton);
        ASSERT_TRUE(QTest::qWaitFor([&] { return button.pressLevel() == 100; }));
        const Image24 face = button.renderFace();
        const int inner = gradientBorder ? 3 : 0;
        // Row 2 carries the focus rectangle; rows 1 and 5 show the layers.
        EXPECT_EQ(face.pixel(20, inner + 5), button.clickedImage().pixel(20 - inner, 5)) << gradientBorder;
        if (gradientBorder) {
            EXPECT_EQ(face.pixel(20, 1), button.defaultImage().pixel(19, 0));
        } else {
            EXPECT_EQ(face.pixel(20, 1), button.clickedImage().pixel(20, 1));
        }
    }
}

TEST(GradButtonPaint, AmpersandMarksTheAcceleratorAndLongCaptionsEndInAnEllipsis)
{
    GradientButton plain;
    GradientButton accelerator;
    GradientButton ampersand;
    for (GradientButton* button : {&plain, &accelerator, &ampersand}) {
        button->resize(120, 25);
        button->setTextShadow(false);
    }
    plain.setCaption(QStringLiteral("AB"));
    accelerator.setCaption(QStringLiteral("A&B"));
    ampersand.setCaption(QStringLiteral("A&&B"));
    auto inkWidth = [](GradientButton& button) {
        const Image24 face = button.renderFace();
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
    // "A&B" shows "AB" with B underlined; "A&&B" shows the ampersand itself.
    EXPECT_LE(std::abs(inkWidth(accelerator) - inkWidth(plain)), 1);
    EXPECT_GT(inkWidth(ampersand), inkWidth(plain) + 4);

    GradientButton narrow;
    narrow.resize(40, 25);
    narrow.setCaption(QStringLiteral("Incremental Backup"));
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
    button.setGlyph(glyph);
    // No caption: the text rectangle starts at 4 + 2, so x = (6 + 30 - 2) div 2 - 4 = 13,
    // y = (30 - 4) div 2 = 13.
    EXPECT_EQ(facePixel(button, 14, 14), Color::rgb(0, 30, 60));
    EXPECT_EQ(facePixel(button, 13, 13), button.defaultImage().pixel(12, 12)) << "magenta is transparent";
    button.setEnabled(false);
    EXPECT_EQ(facePixel(button, 14, 14), Color::rgb(94, 94, 94));
    EXPECT_EQ(facePixel(button, 13, 13), button.defaultImage().pixel(12, 12));
    button.setSpacing(-3);
    EXPECT_EQ(button.spacing(), 0);
}

TEST(GradButtonPaint, EmptyButtonPaintsNothingAndDoesNotFail)
{
    GradientButton button;
    button.setCaption(QStringLiteral("Backup"));
    button.resize(0, 0);
    EXPECT_TRUE(button.renderFace().isEmpty());
    button.resize(1, 1);
    EXPECT_EQ(button.renderFace().width(), 1);
}

TEST(GradControlColors, GradientColoursRebuildPaintColoursRepaintEqualValuesDoNothing)
{
    ProbeButton button;
    const int before = button.rebuilds;
    EditColors(button, [](ControlColors& c) { c.setOverTo(c.overTo()); });
    EXPECT_EQ(button.rebuilds, before);
    EditColors(button, [](ControlColors& c) { c.setOverTo(Color::rgb(200, 0, 0)); });
    EXPECT_EQ(button.rebuilds, before + 1);
    // White to (200, 0, 0) over 25 rows, last row one step short: 255 - 2.2 * 24, 255 - 10.2 * 24.
    EXPECT_EQ(button.overImage().pixel(0, 24), Color::rgb(202, 10, 10));
    EditColors(button, [](ControlColors& c) { c.setBorderColor(Color::rgb(1, 1, 1)); });
    EditColors(button, [](ControlColors& c) { c.setClickedTo(Color::rgb(1, 2, 1)); });
    EXPECT_EQ(button.rebuilds, before + 3);
    EditColors(button, [](ControlColors& c) {
        c.setHotTrack(Color::rgb(9, 9, 9));
        c.setTextShadow(Color::rgb(8, 8, 8));
    });
    EXPECT_EQ(button.rebuilds, before + 3) << "paint-time colours only repaint";
    EXPECT_EQ(button.colors().textShadow(), Color::rgb(8, 8, 8));
    button.setGradientType(GradientType::Vertical);
    EXPECT_EQ(button.rebuilds, before + 3);
    button.setGradientType(GradientType::Horizontal);
    EXPECT_EQ(button.rebuilds, before + 4);
}

TEST(GradControlColors, SetsAreValuesAndAPlainSetCopiesOnlyItsFourColours)
{
    ControlColors source;
    source.setDefaultFrom(Color::rgb(1, 0, 0));
    source.setOverTo(Color::rgb(2, 0, 0));
    source.setClickedFrom(Color::rgb(3, 0, 0));
    source.setHotTrack(Color::rgb(4, 0, 0));
    source.setTextShadow(Color::rgb(5, 0, 0));
    ControlColors copy = source;
    EXPECT_EQ(copy, source);
    copy.setHotTrack(Color::rgb(6, 0, 0));
    EXPECT_NE(copy, source) << "a copy is a value of its own";
    EXPECT_EQ(source.hotTrack(), Color::rgb(4, 0, 0));

    ProbeButton button;
    const int before = button.rebuilds;
    button.setColors(source);
    EXPECT_EQ(button.rebuilds, before + 1) << "the control's setter rebuilds once";
    EXPECT_EQ(button.colors(), source);

    // The four shared colours come from a splitter set; the control's own five stay.
    SplitterColors splitter;
    EXPECT_EQ(splitter.defaultFrom(), colors::ButtonFace);
    static_cast<GradientColors&>(copy) = splitter;
    EXPECT_EQ(copy.defaultFrom(), colors::ButtonFace);
    EXPECT_EQ(copy.overTo(), splitter.overTo());
    EXPECT_EQ(copy.clickedFrom(), Color::rgb(3, 0, 0));
    EXPECT_EQ(copy.hotTrack(), Color::rgb(6, 0, 0));
    static_cast<GradientColors&>(splitter) = source;
    EXPECT_EQ(splitter.overTo(), Color::rgb(2, 0, 0));
}
