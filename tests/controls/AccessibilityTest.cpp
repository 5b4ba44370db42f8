// SPDX-License-Identifier: GPL-3.0-or-later
#include "controls/Accessibility.h"
#include "controls/GradientButton.h"
#include "controls/GradientCheckBox.h"
#include "controls/GradientPanel.h"

#include <QAccessible>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

using namespace stowmere::controls;

namespace {

QAccessibleInterface* accessible(QWidget& widget)
{
    return QAccessible::queryAccessibleInterface(&widget);
}

// Interfaces are made once per widget and kept: the factory must be there before a widget
// is first shown, as the program installs it before it makes its windows.
class ControlAccessibility : public ::testing::Test {
protected:
    ControlAccessibility() { installAccessibility(); }
};

void showActive(QWidget& window)
{
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
}

QStringList actions(QAccessibleInterface* face)
{
    QAccessibleActionInterface* action = face->actionInterface();
    return action != nullptr ? action->actionNames() : QStringList();
}

bool samePixels(const Image24& a, const Image24& b)
{
    if (a.width() != b.width() || a.height() != b.height())
        return false;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            if (a.pixel(x, y) != b.pixel(x, y))
                return false;
    return true;
}

} // namespace

TEST_F(ControlAccessibility, ButtonIsAPushButtonNamedByItsCaptionThatPresses)
{
    QWidget window;
    auto* button = new GradientButton(&window);
    button->setCaption(QStringLiteral("&Backup"));
    showActive(window);
    QAccessibleInterface* face = accessible(*button);
    ASSERT_NE(face, nullptr);
    EXPECT_EQ(face->role(), QAccessible::Button);
    EXPECT_EQ(face->text(QAccessible::Name), "Backup") << "the mnemonic's marker is not read aloud";
    EXPECT_EQ(face->text(QAccessible::Accelerator), "Alt+B");
    EXPECT_TRUE(face->state().focusable);
    EXPECT_FALSE(face->state().defaultButton);
    button->setDefault(true);
    EXPECT_TRUE(face->state().defaultButton);

    ASSERT_TRUE(actions(face).contains(QAccessibleActionInterface::pressAction()));
    QSignalSpy clicks(button, &GradientControl::clicked);
    face->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    EXPECT_EQ(clicks.count(), 1);
    button->setEnabled(false);
    EXPECT_TRUE(face->state().disabled);
    face->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    EXPECT_EQ(clicks.count(), 1) << "a disabled button is not pressed by assistive technology either";

    button->setFocus();
    button->setEnabled(true);
    button->setFocus();
    EXPECT_TRUE(face->state().focused);
    button->setCaption(QStringLiteral("Save && Close"));
    EXPECT_EQ(face->text(QAccessible::Name), "Save & Close");
}

TEST_F(ControlAccessibility, ButtonWithoutCaptionIsNamedByItsTooltip)
{
    GradientButton button;
    button.setToolTip(QStringLiteral("Stop Backup"));
    QAccessibleInterface* face = accessible(button);
    EXPECT_EQ(face->text(QAccessible::Name), "Stop Backup");
    button.setAccessibleName(QStringLiteral("Cancel the run"));
    EXPECT_EQ(face->text(QAccessible::Name), "Cancel the run") << "a name the program gives wins";
}

TEST_F(ControlAccessibility, CheckBoxReportsItsCheckAndTogglesLikeAClick)
{
    QWidget window;
    auto* box = new GradientCheckBox(&window);
    box->setCaption(QStringLiteral("Incremental Backup"));
    window.show();
    QAccessibleInterface* face = accessible(*box);
    ASSERT_NE(face, nullptr);
    EXPECT_EQ(face->role(), QAccessible::CheckBox);
    EXPECT_EQ(face->text(QAccessible::Name), "Incremental Backup");
    EXPECT_TRUE(face->state().checkable);
    EXPECT_FALSE(face->state().checked);

    ASSERT_TRUE(actions(face).contains(QAccessibleActionInterface::toggleAction()));
    QSignalSpy clicks(box, &GradientControl::clicked);
    face->actionInterface()->doAction(QAccessibleActionInterface::toggleAction());
    EXPECT_TRUE(box->isChecked());
    EXPECT_TRUE(face->state().checked);
    EXPECT_EQ(clicks.count(), 1) << "the program reacts to the toggle as to a click";
    box->setChecked(false);
    EXPECT_FALSE(face->state().checked);
}

TEST_F(ControlAccessibility, SpaceTogglesAFocusedCheckBoxOncePerPress)
{
    QWidget window;
    auto* box = new GradientCheckBox(&window);
    auto* other = new GradientButton(&window);
    other->move(0, 40);
    showActive(window);
    box->setFocus();
    QSignalSpy clicks(box, &GradientControl::clicked);
    QTest::keyClick(box, Qt::Key_Space);
    EXPECT_TRUE(box->isChecked());
    QTest::keyClick(box, Qt::Key_Space);
    EXPECT_FALSE(box->isChecked());
    EXPECT_EQ(clicks.count(), 2);
    QTest::keyClick(box, Qt::Key_Space, Qt::ControlModifier);
    QTest::keyClick(box, Qt::Key_Return);
    EXPECT_FALSE(box->isChecked()) << "only the plain space bar toggles";
    QTest::keyPress(box, Qt::Key_Space);
    QKeyEvent repeat(QEvent::KeyPress, Qt::Key_Space, Qt::NoModifier, QStringLiteral(" "), true);
    QApplication::sendEvent(box, &repeat);
    QTest::keyRelease(box, Qt::Key_Space);
    EXPECT_TRUE(box->isChecked()) << "a held space bar toggles once, not back and forth";
}

TEST_F(ControlAccessibility, FocusedControlsDrawTheirFocusFrame)
{
    QWidget window;
    auto* button = new GradientButton(&window);
    auto* box = new GradientCheckBox(&window);
    box->move(0, 40);
    box->setCaption(QStringLiteral("Select All"));
    showActive(window);
    box->setFocus();
    const Image24 buttonUnfocused = button->renderFace();
    const Image24 boxFocused = box->renderFace();
    button->setFocus();
    EXPECT_FALSE(samePixels(button->renderFace(), buttonUnfocused));
    EXPECT_FALSE(samePixels(box->renderFace(), boxFocused)) << "the frame goes with the focus";
    box->setFocus();
    EXPECT_TRUE(samePixels(button->renderFace(), buttonUnfocused));
    EXPECT_TRUE(samePixels(box->renderFace(), boxFocused));
}

TEST_F(ControlAccessibility, PanelIsANamedGroupingOrAnUnnamedOne)
{
    GradientPanel panel;
    QAccessibleInterface* face = accessible(panel);
    ASSERT_NE(face, nullptr);
    EXPECT_EQ(face->role(), QAccessible::Grouping);
    panel.setCaption(QStringLiteral("Backup Information"));
    EXPECT_EQ(face->text(QAccessible::Name), "Backup Information");
    panel.setShowCaption(false);
    EXPECT_EQ(face->text(QAccessible::Name), "") << "a hidden caption is not read";
}

TEST_F(ControlAccessibility, MnemonicMarkersAreDroppedFromNames)
{
    EXPECT_EQ(withoutMnemonic(QStringLiteral("&Add Folder")), "Add Folder");
    EXPECT_EQ(withoutMnemonic(QStringLiteral("Sichern && Schlie&ßen")), "Sichern & Schließen");
    EXPECT_EQ(withoutMnemonic(QStringLiteral("Trailing&")), "Trailing");
    EXPECT_EQ(mnemonicKey(QStringLiteral("Plain")), "");
}
