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

bool Contains(const Image24& image, Color color)
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
    box.SetCaption(QStringLiteral("Incremental Backup"));
    box.show();
    std::vector<bool> seen;
    QObject::connect(&box, &GradientControl::clicked, [&] { seen.push_back(box.Checked()); });
    QTest::mouseClick(&box, Qt::LeftButton, Qt::NoModifier, QPoint(80, 8));
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_TRUE(seen[0]) << "Checked has changed before clicked";
    QTest::mouseClick(&box, Qt::LeftButton, Qt::NoModifier, QPoint(8, 8));
    EXPECT_FALSE(box.Checked());
    EXPECT_EQ(seen.size(), 2u);

    QTest::keyClick(&box, Qt::Key_Space);
    EXPECT_FALSE(box.Checked()) << "no key toggles the box";
}

TEST(GradCheckBox, CheckedSetInCodeRepaintsAndEmitsOnlyToggled)
{
    GradientCheckBox box;
    int clicks = 0;
    std::vector<bool> toggles;
    QObject::connect(&box, &GradientControl::clicked, [&] { ++clicks; });
    QObject::connect(&box, &GradientCheckBox::toggled, [&](bool checked) { toggles.push_back(checked); });
    const Image24 before = box.RenderFace();
    box.SetChecked(true);
    box.SetChecked(true);
    EXPECT_EQ(clicks, 0);
    EXPECT_EQ(toggles, std::vector<bool>{true}) << "toggled once, only for a change";
    const Image24 after = box.RenderFace();
    EXPECT_FALSE(Contains(before, Color::rgb(0, 128, 0)));
    EXPECT_TRUE(Contains(after, Color::rgb(0, 128, 0)));
}

TEST(GradCheckBox, BoxGeometryAtHeightSeventeen)
{
    GradientCheckBox box;
    box.setColor(Color::rgb(0, 176, 0));
    EditColors(box, [](ControlColors& c) { c.SetDefaultTo(c.DefaultFrom()); });
    box.SetShowCaption(false);
    const Image24 face = box.RenderFace();
    const Color border = box.Colors().BorderColor();
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
    box.SetTextShadow(false);
    box.SetCaption(QStringLiteral("M"));
    box.setColor(colors::White);
    const Image24 face = box.RenderFace();
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
    box.SetChecked(true);
    box.SetCheckColor(Color::rgb(200, 0, 0));
    EXPECT_TRUE(Contains(box.RenderFace(), Color::rgb(200, 0, 0)));
    box.setEnabled(false);
    const Image24 face = box.RenderFace();
    EXPECT_FALSE(Contains(face, Color::rgb(200, 0, 0)));
    // Row 3 of the mark has its first dot at column 1: box (2, 2) + 2 + (1, 3).
    EXPECT_EQ(face.pixel(5, 7), Color::rgb(128, 128, 128));
}

TEST(GradCheckBox, PressedBoxKeepsATwoPixelFrameAroundTheClickedGradient)
{
    for (const bool gradientBorder : {true, false}) {
        ProbeCheckBox box;
        box.SetShowCaption(false);
        box.SetShowFocusRect(false);
        box.SetGradientBorder(gradientBorder);
        box.show();
        SendEnter(&box);
        SendMouse(&box, QEvent::MouseButtonPress, {5, 5}, Qt::LeftButton);
        EXPECT_TRUE(box.Pressed());
        ASSERT_TRUE(QTest::qWaitFor([&] { return box.PressLevel() == 100; }));
        ASSERT_FALSE(box.pressAfterTick.empty());
        const Image24 face = box.RenderFace();
        const int d = gradientBorder ? 2 : 1;
        EXPECT_EQ(face.pixel(2 + d, 2 + d), box.ClickedImage().pixel(0, 0)) << gradientBorder;
        EXPECT_EQ(face.pixel(2, 8), box.Colors().BorderColor());
        if (gradientBorder) {
            EXPECT_NE(face.pixel(3, 3), box.ClickedImage().pixel(0, 0));
        }
        SendLeave(&box);
        EXPECT_FALSE(box.Hover());
        EXPECT_FALSE(box.Pressed());
        ASSERT_TRUE(QTest::qWaitFor([&] { return !box.IsFading(); }, 3000));
        EXPECT_EQ(box.PressLevel(), 0);
        EXPECT_EQ(box.HoverLevel(), 0);
    }
}

TEST(GradCheckBox, HoverFadesToTheOverGradientInTenTicks)
{
    ProbeCheckBox box;
    box.SetShowCaption(false);
    box.show();
    SendEnter(&box);
    EXPECT_EQ(box.FadeTimerInterval(), 20);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !box.IsFading(); }, 3000));
    EXPECT_EQ(box.fadeInTicks, 10);
    const Image24 face = box.RenderFace();
    EXPECT_EQ(face.pixel(8, 8), box.OverImage().pixel(6, 6));
}

TEST(GradCheckBox, BorderLinesFollowTheSet)
{
    GradientCheckBox box;
    box.SetShowCaption(false);
    box.setBorderLines({BorderLine::Top, BorderLine::Right});
    box.SetBorderLinesColor(Color::rgb(1, 2, 3));
    const Image24 face = box.RenderFace();
    EXPECT_EQ(face.pixel(60, 0), Color::rgb(1, 2, 3));
    EXPECT_EQ(face.pixel(129, 10), Color::rgb(1, 2, 3));
    EXPECT_NE(face.pixel(60, 16), Color::rgb(1, 2, 3));
    EXPECT_NE(face.pixel(0, 10), Color::rgb(1, 2, 3));
}

TEST(GradCheckBox, ColourChangesRebuildTheBoxImages)
{
    ProbeCheckBox box;
    const int start = box.rebuilds;
    EditColors(box, [](ControlColors& c) { c.SetDefaultFrom(Color::rgb(10, 20, 30)); });
    EXPECT_EQ(box.rebuilds, start + 1);
    Image24 expected(13, 13);
    fillGradient(expected, {0, 0, 13, 13}, Color::rgb(10, 20, 30), box.Colors().DefaultTo(),
                 GradientType::FromTopLeft);
    EXPECT_EQ(box.DefaultImage().pixel(1, 1), expected.pixel(1, 1));
    EXPECT_EQ(box.DefaultImage().pixel(0, 5), box.Colors().BorderColor());
    EditColors(box, [](ControlColors& c) {
        c.SetHotTrack(Color::rgb(1, 1, 1));
        c.SetDefaultFrom(Color::rgb(10, 20, 30));
    });
    EXPECT_EQ(box.rebuilds, start + 1) << "only a paint-time colour changed";
}

TEST(GradStyleManager, KeepsItsListOfLinkedControls)
{
    auto manager = std::make_unique<StyleManager>();
    StyleManager other;
    auto first = std::make_unique<GradientCheckBox>();
    GradientCheckBox second;
    first->SetGradStyleManager(manager.get());
    first->SetGradStyleManager(manager.get());
    second.SetGradStyleManager(manager.get());
    EXPECT_EQ(manager->LinkedControls().size(), 2u);
    second.SetGradStyleManager(&other);
    EXPECT_EQ(manager->LinkedControls().size(), 1u);
    EXPECT_EQ(other.LinkedControls().size(), 1u);
    second.SetGradStyleManager(nullptr);
    EXPECT_TRUE(other.LinkedControls().empty());
    second.SetGradStyleManager(manager.get());
    first.reset();
    EXPECT_EQ(manager->LinkedControls().size(), 1u) << "a destroyed control leaves the list";

    manager->SetCheckColor(Color::rgb(255, 0, 0));
    EXPECT_EQ(second.CheckColor(), Color::rgb(0, 128, 0)) << "settings are not pushed to linked controls";
    manager.reset();
    EXPECT_EQ(second.GradStyleManager(), nullptr) << "the removal notice clears the link";
}

TEST(GradStyleManager, CopySettingsCopiesEverySettingButNotTheLinks)
{
    StyleManager source;
    ControlColors colours;
    colours.SetOverTo(Color::rgb(0, 0, 7));
    source.SetColors(colours);
    SplitterColors splitter;
    splitter.SetDefaultTo(Color::rgb(0, 0, 8));
    source.setSplitterColors(splitter);
    source.SetShowFocusRect(false);
    source.SetHotTrack(true);
    source.SetGradientBorder(false);
    source.SetTextShadow(false);
    source.SetCheckColor(Color::rgb(0, 0, 9));
    source.setFadeSpeed(FadeSpeed::VeryFast);
    source.SetPanelColor(Color::rgb(0, 0, 10));
    source.SetBorderColor(Color::rgb(0, 0, 11));
    QFont font(QStringLiteral("Liberation Sans"));
    font.setPixelSize(29);
    source.SetFont(font);
    GradientCheckBox linked;
    linked.SetGradStyleManager(&source);
    StyleManager target;
    target.CopySettings(source);
    EXPECT_EQ(target.Colors(), colours);
    EXPECT_EQ(target.splitterColors(), splitter);
    EXPECT_FALSE(target.ShowFocusRect());
    EXPECT_TRUE(target.HotTrack());
    EXPECT_FALSE(target.GradientBorder());
    EXPECT_FALSE(target.TextShadow());
    EXPECT_EQ(target.CheckColor(), Color::rgb(0, 0, 9));
    EXPECT_EQ(target.fadeSpeed(), FadeSpeed::VeryFast);
    EXPECT_EQ(target.PanelColor(), Color::rgb(0, 0, 10));
    EXPECT_EQ(target.BorderColor(), Color::rgb(0, 0, 11));
    EXPECT_EQ(target.Font().pixelSize(), 29);
    EXPECT_TRUE(target.LinkedControls().empty());
    linked.SetGradStyleManager(nullptr);
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
