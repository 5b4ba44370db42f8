// SPDX-License-Identifier: GPL-3.0-or-later
#include "AppFixture.h"

#include "app/CheckListBox.h"
#include "app/ListBox.h"
#include "catalog/Catalog.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QDialog>
#include <QLabel>
#include <QMenu>
#include <QTest>

using namespace stowmere::app;
using namespace stowmere::app::testing;

namespace {

class CurrentSet : public AppFixture {
protected:
    /// Presses the right mouse button on a set and asks for its menu, as the platform does,
    /// then closes the menu with Escape.
    void rightClickCategory(int index)
    {
        QWidget* viewport = setList()->viewport();
        const QPoint point = setList()->visualItemRect(setList()->item(index)).center();
        QTest::mousePress(viewport, Qt::RightButton, {}, point);
        QContextMenuEvent menuEvent(QContextMenuEvent::Mouse, point, viewport->mapToGlobal(point));
        QApplication::sendEvent(viewport, &menuEvent);
        QTest::mouseRelease(viewport, Qt::RightButton, {}, point);
        auto* menu = main->findChild<QMenu*>("setMenu");
        ASSERT_NE(menu, nullptr);
        ASSERT_TRUE(QTest::qWaitFor([menu] { return menu->isVisible(); }));
        QTest::keyClick(menu, Qt::Key_Escape);
        ASSERT_TRUE(QTest::qWaitFor([menu] { return !menu->isVisible(); }));
    }

    QString currentDescription() const
    {
        const auto set = main->currentSet();
        return set ? QString::fromStdString(set->description) : QString();
    }
};

TEST_F(CurrentSet, DeleteAfterARightClickDeletesTheHighlightedSetNotTheOneClickedBefore)
{
    start();
    addBackupSet("Alpha", "/backup/alpha");
    addBackupSet("Beta", "/backup/beta");
    clickCategory(1);
    ASSERT_EQ(currentDescription(), "Beta");

    rightClickCategory(0);
    EXPECT_EQ(setList()->itemIndex(), 0);
    EXPECT_EQ(currentDescription(), "Alpha");

    dialogs.setNextAnswer(true);
    click("deleteSetButton");
    EXPECT_EQ(categoryItems(), QStringList{"Beta"});
    EXPECT_EQ(dialogs.unexpected(), 0);
}

TEST_F(CurrentSet, EveryWayOfHighlightingASetShowsItsPaths)
{
    start();
    addBackupSet("Alpha", "/backup/alpha");
    dialogs.setNextFiles({"/etc/alpha"});
    click("addFilesButton");
    addBackupSet("Beta", "/backup/beta");
    dialogs.setNextFiles({"/etc/beta"});
    click("addFilesButton");
    addBackupSet("Gamma", "/backup/gamma");
    ASSERT_EQ(currentDescription(), "Gamma");

    rightClickCategory(1);
    EXPECT_EQ(currentDescription(), "Beta");
    EXPECT_EQ(pathItems(), QStringList{"/etc/beta"});

    setList()->setFocus();
    QTest::keyClick(setList(), Qt::Key_Up);
    EXPECT_EQ(currentDescription(), "Alpha");
    EXPECT_EQ(pathItems(), QStringList{"/etc/alpha"});

    // A selection made by any other means (an accessibility tool, say) counts as well.
    setList()->setCurrentRow(2);
    EXPECT_EQ(currentDescription(), "Gamma");
    EXPECT_TRUE(pathItems().isEmpty());
}

} // namespace

TEST_F(CurrentSet, TheToolsButtonOffersTheSetsCommandsForTheHighlightedSet)
{
    start();
    addBackupSet("Alpha", "/backup/alpha");
    addBackupSet("Beta", "/backup/beta");
    clickCategory(0);
    click("toolsButton");
    auto* menu = main->findChild<QMenu*>("toolsMenu");
    ASSERT_NE(menu, nullptr);
    ASSERT_TRUE(QTest::qWaitFor([menu] { return menu->isVisible(); }));
    QStringList entries;
    for (QAction* action : menu->actions())
        if (!action->isSeparator())
            entries << QString(action->text()).remove(QLatin1Char('&'));
    EXPECT_EQ(entries, (QStringList{"Preview Backup...", "Backup History...", "Verify Backup...",
                                    "Backup Options...", "Restore..."}));
    EXPECT_FALSE(menu->actions().back()->isEnabled()) << "no item to restore";
    QAction* options = main->findChild<QAction*>("optionsAction");
    QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(options).center());
    auto* dialog = main->findChild<QDialog*>("optionsDialog");
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(child<QLabel>(*dialog, "optionsHeadline")->text(), "Options of \"Alpha\"");
    dialog->reject();
}
