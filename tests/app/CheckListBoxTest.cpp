// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/CheckListBox.h"
#include "app/ListItemPainter.h"

#include <QPaintEvent>
#include <QPainter>
#include <QSignalSpy>
#include <QTest>
#include <QWindow>

#include <gtest/gtest.h>

using stowmere::app::CheckListBox;
using stowmere::app::ListBox;
using stowmere::app::ListItemPainter;

namespace {

class CheckListTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        list.resize(300, 200);
        for (const char* path : {"/a/one.txt", "/a/two", "/b/three.txt"})
            list.addItem(QString::fromUtf8(path));
        list.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&list));
    }

    QPoint inStrip(int row) const { return list.visualItemRect(list.item(row)).topLeft() + QPoint(8, 10); }
    QPoint inText(int row) const { return list.visualItemRect(list.item(row)).topLeft() + QPoint(60, 10); }

    CheckListBox list;
};

class PaintSpy : public QObject {
public:
    QRegion region;

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            region += static_cast<QPaintEvent*>(event)->region();
        return false;
    }
};

} // namespace

TEST_F(CheckListTest, APressInTheStripTogglesButAPressOnTheTextOnlySelects)
{
    QSignalSpy checks(&list, &CheckListBox::checkToggled);
    QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, inStrip(1));
    EXPECT_TRUE(list.checked(1));
    QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, inText(2));
    EXPECT_FALSE(list.checked(2));
    EXPECT_EQ(list.itemIndex(), 2);
    QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, inStrip(1));
    EXPECT_FALSE(list.checked(1));
    EXPECT_EQ(checks.count(), 2);
    EXPECT_EQ(list.checkedCount(), 0);
}

TEST_F(CheckListTest, AQuickSecondClickInTheStripTogglesAgain)
{
    // Through the window, as the platform delivers them: the second press of a quick pair
    // arrives as a double click.
    QSignalSpy checks(&list, &CheckListBox::checkToggled);
    QWindow* window = list.window()->windowHandle();
    ASSERT_NE(window, nullptr);
    const QPoint at = list.viewport()->mapTo(list.window(), inStrip(1));
    QTest::mouseDClick(window, Qt::LeftButton, {}, at);
    EXPECT_FALSE(list.checked(1));
    QTest::mouseDClick(window, Qt::LeftButton, {}, at);
    QTest::mouseClick(window, Qt::LeftButton, {}, at);
    EXPECT_TRUE(list.checked(1));
    EXPECT_EQ(checks.count(), 5);
}

TEST_F(CheckListTest, SpaceTogglesTheCurrentItemPlusAndMinusSetEveryItem)
{
    list.setFocus();
    list.setCurrentRow(0);
    QTest::keyClick(&list, Qt::Key_Space);
    EXPECT_TRUE(list.checked(0));
    QTest::keyClick(&list, Qt::Key_Plus);
    EXPECT_EQ(list.checkedCount(), 3);
    QTest::keyClick(&list, Qt::Key_Minus);
    EXPECT_EQ(list.checkedCount(), 0);
    QTest::keyClick(&list, Qt::Key_Space);
    EXPECT_TRUE(list.checked(0));
    EXPECT_FALSE(list.checked(1));
}

TEST_F(CheckListTest, SettingACheckByProgramRepaintsOnlyThatCheckBox)
{
    QTest::qWait(50); // let the first full paint finish; nothing signals its end
    PaintSpy spy;
    list.viewport()->installEventFilter(&spy);
    QSignalSpy checks(&list, &CheckListBox::checkToggled);
    list.setChecked(2, true);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !spy.region.isEmpty(); }));
    const QRect item = list.visualItemRect(list.item(2));
    EXPECT_EQ(spy.region.boundingRect(),
              QRect(item.left(), item.top(), CheckListBox::kStripWidth, item.height()));
    EXPECT_TRUE(list.checked(2));
    EXPECT_EQ(checks.count(), 0);
}

TEST_F(CheckListTest, TheSelectedBandStartsRightOfTheCheckStrip)
{
    list.setChecked(0, true);
    list.setItemIndex(0);
    list.setOnDrawItem(
        [](ListBox& owner, int index, QPainter& painter, const QRect& rect, QStyle::State state) {
            ListItemPainter::drawItem(painter, rect, owner.itemText(index),
                                      state.testFlag(QStyle::State_Selected));
        });
    list.clearFocus(); // the dotted focus frame would cover the band's frame
    const QImage shot = list.viewport()->grab().toImage();
    const QRect item = list.visualItemRect(list.item(0));
    EXPECT_EQ(shot.pixel(item.left() + 60, item.top() + 5), qRgb(255, 245, 221));
    EXPECT_EQ(shot.pixel(item.left() + CheckListBox::kStripWidth, item.top() + 10), qRgb(197, 197, 197));
    // Left of the band: the strip's white background and the check-box cell, no band colour.
    for (int x = item.left(); x < item.left() + CheckListBox::kStripWidth; ++x)
        EXPECT_NE(shot.pixel(x, item.top() + 5), qRgb(255, 245, 221)) << x;
    EXPECT_EQ(shot.pixel(item.left(), item.top() + 1), qRgb(255, 255, 255));
}
