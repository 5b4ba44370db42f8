// SPDX-License-Identifier: GPL-3.0-or-later
#include "controls/Accessibility.h"
#include "controls/GradientButton.h"
#include "progress/Accessibility.h"
#include "progress/CylinderProgressBar.h"
#include "progress/ProgressWindow.h"

#include <QAccessible>
#include <QTest>

#include <gtest/gtest.h>

#include <atomic>

using namespace stowmere;
using namespace stowmere::progress;

namespace {

class ProgressAccessibility : public ::testing::Test {
protected:
    // The factories come first: an interface, once made for a widget, is kept.
    ProgressAccessibility()
    {
        controls::installAccessibility();
        installAccessibility();
    }
};

TEST_F(ProgressAccessibility, BarIsAProgressBarWhoseValueFollowsItsPosition)
{
    QWidget window;
    window.setWindowTitle(QStringLiteral("Progress"));
    auto* bar = new CylinderProgressBar(&window);
    bar->setMax(4);
    QAccessibleInterface* face = QAccessible::queryAccessibleInterface(bar);
    ASSERT_NE(face, nullptr);
    EXPECT_EQ(face->role(), QAccessible::ProgressBar);
    EXPECT_EQ(face->text(QAccessible::Name), "Progress") << "named by its window";
    QAccessibleValueInterface* value = face->valueInterface();
    ASSERT_NE(value, nullptr);
    EXPECT_EQ(value->minimumValue().toInt(), 0);
    EXPECT_EQ(value->maximumValue().toInt(), 4);
    EXPECT_EQ(value->currentValue().toInt(), 0);
    bar->setPosition(3);
    EXPECT_EQ(value->currentValue().toInt(), 3);
    EXPECT_EQ(face->text(QAccessible::Value), "75%");
    value->setCurrentValue(1);
    EXPECT_EQ(bar->position(), 3) << "assistive technology reads the bar, it does not move it";
    bar->setAccessibleName(QStringLiteral("Backup of Docs"));
    EXPECT_EQ(face->text(QAccessible::Name), "Backup of Docs");
}

TEST_F(ProgressAccessibility, WindowIsADialogWhoseCancelIsNamedAndTakesEscape)
{
    QWidget mainWindow;
    mainWindow.show();
    ProgressWindow window(&mainWindow);
    std::atomic<bool> cancelled{false};
    window.setCancelFlag(&cancelled);
    window.prepareRun(3);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window)) << "the run's window takes the keyboard";
    EXPECT_EQ(QAccessible::queryAccessibleInterface(&window)->role(), QAccessible::Dialog);
    QAccessibleInterface* cancel = QAccessible::queryAccessibleInterface(window.cancelButton());
    EXPECT_EQ(cancel->role(), QAccessible::Button);
    EXPECT_EQ(cancel->text(QAccessible::Name), "Stop Backup");
    EXPECT_TRUE(window.cancelButton()->hasFocus());

    QTest::keyClick(&window, Qt::Key_Escape);
    EXPECT_TRUE(cancelled.load());
    window.finishRun();
    EXPECT_TRUE(QTest::qWaitForWindowActive(&mainWindow)) << "the keyboard goes back when the run ends";
}

} // namespace
