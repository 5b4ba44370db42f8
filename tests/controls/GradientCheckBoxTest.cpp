// SPDX-License-Identifier: GPL-3.0-or-later
#include "TestSupport.h"

#include "controls/CheckImages.h"
#include "controls/GradientCheckBox.h"
#include "controls/StyleManager.h"

#include <QPainter>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

using namespace stowmere::controls;
using namespace stowmere::controls::testing;

using ProbeCheckBox = Probe<GradientCheckBox>;

namespace {

bool contains(const Image24& image, Color color)
{
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixel(x, y) == color)
                return true;
    return false;
}

} // namespace

TEST(GradCheckBox, ClickOnTheCaptionTogglesThenEmitsClickedOnce)
{
    ProbeCheckBox box;
    box.setCaption(QStringLiteral("Incremental Backup"));
    box.show();
    std::vector<bool> seen;
    QObject::connect(&box, &GradientControl::clicked, [&] { seen.push_back(box.isChecked()); });
    QTest::mouseClick(&box, Qt::LeftButton, Qt::NoModifier, QPoint(80, 8));
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_TRUE(seen[0]) << "Checked has changed before clicked";
    QTest::mouseClick(&box, Qt::LeftButton, Qt::NoModifier, QPoint(8, 8));
    EXPECT_FALSE(box.isChecked());
    EXPECT_EQ(seen.size(), 2u);

    QTest::keyClick(&box, Qt::Key_Return);
    EXPECT_FALSE(box.isChecked()) << "Return is the window's, not the box's (Space toggles it)";
}

TEST(GradCheckBox, CheckedSetInCodeRepaintsAndEmitsOnlyToggled)
{
    GradientCheckBox box;
    int clicks = 0;
    std::vector<bool> toggles;
    QObject::connect(&box, &GradientControl::clicked, [&] { ++clicks; });
    QObject::connect(&box, &GradientCheckBox::toggled, [&](bool checked) { toggles.push_back(checked); });
    const Image24 before = box.renderFace();
    box.setChecked(true);
    box.setChecked(true);
    EXPECT_EQ(clicks, 0);
    EXPECT_EQ(toggles, std::vector<bool>{true}) << "toggled once, only for a change";
    const Image24 after = box.renderFace();
    EXPECT_FALSE(contains(before, Color::rgb(0, 128, 0)));
    EXPECT_TRUE(contains(after, Color::rgb(0, 128, 0)));
}

TEST(GradCheckBox, BoxGeometryAtHeightSeventeen)
{
    GradientCheckBox box;
    box.setColor(Color::rgb(0, 176, 0));
    EditColors(box, [](ControlColors& c) { c.setDefaultTo(c.defaultFrom()); });
    box.setShowCaption(false);
    const Image24 face = box.renderFace();
    const Color border = box.colors().borderColor();
    EXPECT_EQ(face.pixel(1, 1), Color::rgb(0, 176, 0));
    EXPECT_EQ(face.pixel(2, 2), border);
    EXPECT_EQ(face.pixel(14, 14), border);
    EXPECT_EQ(face.pixel(14, 2), border);
    EXPECT_EQ(face.pixel(15, 15), Color::rgb(0, 176, 0));
    for (int y = 3; y < 14; ++y)
        for (int x = 3; x < 14; ++x)
            ASSERT_EQ(face.pixel(x, y), colors::White) << "solid square";
}

TEST(GradCheckBox, CaptionStartsAtSpacingPlusSixteen)
{
    GradientCheckBox box;
    box.setTextShadow(false);
    box.setCaption(QStringLiteral("M"));
    box.setColor(colors::White);
    const Image24 face = box.renderFace();
    int left = -1;
    for (int x = 16; x < face.width() && left < 0; ++x)
        for (int y = 0; y < face.height(); ++y)
            if (face.pixel(x, y) != colors::White) {
                left = x;
                break;
            }
    EXPECT_GE(left, 19);
    EXPECT_LE(left, 21);
}

TEST(GradCheckBox, DisabledMarkIsGrey)
{
    GradientCheckBox box;
    box.setChecked(true);
    box.setCheckColor(Color::rgb(200, 0, 0));
    EXPECT_TRUE(contains(box.renderFace(), Color::rgb(200, 0, 0)));
    box.setEnabled(false);
    const Image24 face = box.renderFace();
    EXPECT_FALSE(contains(face, Color::rgb(200, 0, 0)));
    // Row 3 of the mark has its first dot at column 1: box (2, 2) + 2 + (1, 3).
    EXPECT_EQ(face.pixel(5, 7), Color::rgb(128, 128, 128));
}

TEST(GradCheckBox, PressedBoxKeepsATwoPixelFrameAroundTheClickedGradient)
{
    for (const bool gradientBorder : {true, false}) {
        ProbeCheckBox box;
        box.setShowCaption(false);
        box.setShowFocusRect(false);
        box.setGradientBorder(gradientBorder);
        box.show();
        sendEnter(&box);
        sendMouse(&box, QEvent::MouseButtonPress, {5, 5}, Qt::LeftButton);
        EXPECT_TRUE(box.isPressed());
        ASSERT_TRUE(QTest::qWaitFor([&] { return box.pressLevel() == 100; }));
        ASSERT_FALSE(box.pressAfterTick.empty());
        const Image24 face = box.renderFace();
        const int d = gradientBorder ? 2 : 1;
        EXPECT_EQ(face.pixel(2 + d, 2 + d), box.clickedImage().pixel(0, 0)) << gradientBorder;
        EXPECT_EQ(face.pixel(2, 8), box.colors().borderColor());
        if (gradientBorder) {
            EXPECT_NE(face.pixel(3, 3), box.clickedImage().pixel(0, 0));
        }
        sendLeave(&box);
        EXPECT_FALSE(box.isHovered());
        EXPECT_FALSE(box.isPressed());
        ASSERT_TRUE(QTest::qWaitFor([&] { return !box.isFading(); }, 3000));
        EXPECT_EQ(box.pressLevel(), 0);
        EXPECT_EQ(box.hoverLevel(), 0);
    }
}

TEST(GradCheckBox, HoverFadesToTheOverGradientInTenTicks)
{
    ProbeCheckBox box;
    box.setShowCaption(false);
    box.show();
    sendEnter(&box);
    EXPECT_EQ(box.fadeTimerInterval(), 20);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !box.isFading(); }, 3000));
    EXPECT_EQ(box.fadeInTicks, 10);
    const Image24 face = box.renderFace();
    EXPECT_EQ(face.pixel(8, 8), box.overImage().pixel(6, 6));
}

TEST(GradCheckBox, BorderLinesFollowTheSet)
{
    GradientCheckBox box;
    box.setShowCaption(false);
    box.setBorderLines({BorderLine::Top, BorderLine::Right});
    box.setBorderLinesColor(Color::rgb(1, 2, 3));
    const Image24 face = box.renderFace();
    EXPECT_EQ(face.pixel(60, 0), Color::rgb(1, 2, 3));
    EXPECT_EQ(face.pixel(129, 10), Color::rgb(1, 2, 3));
    EXPECT_NE(face.pixel(60, 16), Color::rgb(1, 2, 3));
    EXPECT_NE(face.pixel(0, 10), Color::rgb(1, 2, 3));
}

TEST(GradCheckBox, ColourChangesRebuildTheBoxImages)
{
    ProbeCheckBox box;
    const int start = box.rebuilds;
    EditColors(box, [](ControlColors& c) { c.setDefaultFrom(Color::rgb(10, 20, 30)); });
    EXPECT_EQ(box.rebuilds, start + 1);
    Image24 expected(13, 13);
    fillGradient(expected, {0, 0, 13, 13}, Color::rgb(10, 20, 30), box.colors().defaultTo(),
                 GradientType::FromTopLeft);
    EXPECT_EQ(box.defaultImage().pixel(1, 1), expected.pixel(1, 1));
    EXPECT_EQ(box.defaultImage().pixel(0, 5), box.colors().borderColor());
    EditColors(box, [](ControlColors& c) {
        c.setHotTrack(Color::rgb(1, 1, 1));
        c.setDefaultFrom(Color::rgb(10, 20, 30));
    });
    EXPECT_EQ(box.rebuilds, start + 1) << "only a paint-time colour changed";
}

TEST(GradStyleManager, KeepsItsListOfLinkedControls)
{
    auto manager = std::make_unique<StyleManager>();
    StyleManager other;
    auto first = std::make_unique<GradientCheckBox>();
    GradientCheckBox second;
    first->setGradStyleManager(manager.get());
    first->setGradStyleManager(manager.get());
    second.setGradStyleManager(manager.get());
    EXPECT_EQ(manager->linkedControls().size(), 2u);
    second.setGradStyleManager(&other);
    EXPECT_EQ(manager->linkedControls().size(), 1u);
    EXPECT_EQ(other.linkedControls().size(), 1u);
    second.setGradStyleManager(nullptr);
    EXPECT_TRUE(other.linkedControls().empty());
    second.setGradStyleManager(manager.get());
    first.reset();
    EXPECT_EQ(manager->linkedControls().size(), 1u) << "a destroyed control leaves the list";

    manager->setCheckColor(Color::rgb(255, 0, 0));
    EXPECT_EQ(second.checkColor(), Color::rgb(0, 128, 0)) << "settings are not pushed to linked controls";
    manager.reset();
    EXPECT_EQ(second.gradStyleManager(), nullptr) << "the removal notice clears the link";
}

TEST(GradStyleManager, CopySettingsCopiesEverySettingButNotTheLinks)
{
    StyleManager source;
    ControlColors colours;
    colours.setOverTo(Color::rgb(0, 0, 7));
    source.setColors(colours);
    SplitterColors splitter;
    splitter.setDefaultTo(Color::rgb(0, 0, 8));
    source.setSplitterColors(splitter);
    source.setShowFocusRect(false);
    source.setHotTrack(true);
    source.setGradientBorder(false);
    source.setTextShadow(false);
    source.setCheckColor(Color::rgb(0, 0, 9));
    source.setFadeSpeed(FadeSpeed::VeryFast);
    source.setPanelColor(Color::rgb(0, 0, 10));
    source.setBorderColor(Color::rgb(0, 0, 11));
    QFont font(QStringLiteral("Liberation Sans"));
    font.setPixelSize(29);
    source.setCaptionFont(font);
    GradientCheckBox linked;
    linked.setGradStyleManager(&source);
    StyleManager target;
    target.copySettings(source);
    EXPECT_EQ(target.colors(), colours);
    EXPECT_EQ(target.splitterColors(), splitter);
    EXPECT_FALSE(target.showFocusRect());
    EXPECT_TRUE(target.hotTrack());
    EXPECT_FALSE(target.gradientBorder());
    EXPECT_FALSE(target.textShadow());
    EXPECT_EQ(target.checkColor(), Color::rgb(0, 0, 9));
    EXPECT_EQ(target.fadeSpeed(), FadeSpeed::VeryFast);
    EXPECT_EQ(target.panelColor(), Color::rgb(0, 0, 10));
    EXPECT_EQ(target.borderColor(), Color::rgb(0, 0, 11));
    EXPECT_EQ(target.captionFont().pixelSize(), 29);
    EXPECT_TRUE(target.linkedControls().empty());
    linked.setGradStyleManager(nullptr);
}

TEST(CheckCellImage, CellsByKindStateAndEnabledFlag)
{
    const QImage& cells = checkCellImage();
    EXPECT_EQ(cells.size(), QSize(96, 39));
    EXPECT_EQ(checkCellRect(CheckKind::CheckMark, CheckBoxState::Unchecked, true), QRect(0, 0, 16, 13));
    EXPECT_EQ(checkCellRect(CheckKind::CheckMark, CheckBoxState::Checked, true), QRect(16, 0, 16, 13));
    EXPECT_EQ(checkCellRect(CheckKind::CheckMark, CheckBoxState::Checked, false), QRect(64, 0, 16, 13));
    EXPECT_EQ(checkCellRect(CheckKind::Radio, CheckBoxState::Grayed, false), QRect(80, 26, 16, 13));

    auto cellHas = [&](CheckBoxState state, bool enabled, QColor color) {
        const QImage cell = cells.copy(checkCellRect(CheckKind::CheckMark, state, enabled));
        for (int y = 0; y < cell.height(); ++y)
            for (int x = 0; x < cell.width(); ++x)
                if (cell.pixelColor(x, y) == color)
                    return true;
        return false;
    };
    EXPECT_TRUE(cellHas(CheckBoxState::Checked, true, QColor(0, 128, 0)));
    EXPECT_FALSE(cellHas(CheckBoxState::Unchecked, true, QColor(0, 128, 0)));
    EXPECT_TRUE(cellHas(CheckBoxState::Checked, false, QColor(128, 128, 128)));
    EXPECT_FALSE(cellHas(CheckBoxState::Checked, false, QColor(0, 128, 0)));

    // Centred in the 18-pixel strip of a 21-pixel item, on the list's background.
    QImage strip(18, 21, QImage::Format_RGB32);
    strip.fill(Qt::white);
    QPainter painter(&strip);
    drawCheckCell(painter, QRect(0, 0, 18, 21), CheckKind::CheckMark, CheckBoxState::Checked, true);
    painter.end();
    EXPECT_EQ(strip.pixelColor(0, 10), QColor(Qt::white));
    EXPECT_EQ(strip.pixelColor(1, 0), QColor(Qt::white));
    EXPECT_EQ(strip.pixelColor(2, 4), QColor(128, 128, 128))
        << "the box outline starts one pixel into the cell";
}
