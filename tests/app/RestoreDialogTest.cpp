// SPDX-License-Identifier: GPL-3.0-or-later
// The restore dialog over a real backup with a history: its moments, the tree it fills a
// folder at a time, the search across kept versions, and the restore the window runs.
#include "AppFixture.h"

#include "app/MomentModel.h"
#include "app/RestoreDialog.h"
#include "app/TCheckListBox.h"
#include "controls/TGradButton.h"
#include "progress/Progress.h"

#include <QCheckBox>
#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QListWidget>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTest>
#include <QTreeView>
#include <QTreeWidget>

#include <chrono>
#include <ctime>
#include <thread>

using namespace stowmere;
using namespace stowmere::app;
using namespace stowmere::app::testing;

namespace {

class RestoreDialogTest : public AppFixture {
protected:
    QString source() const { return folder() + "/source"; }
    QString destination() const { return folder() + "/dest"; }

    /// A backup in a second of its own, so that each run is a moment of its own.
    void runBackup()
    {
        waitForNextSecond();
        // A run unchecks what it backed up.
        for (int i = 0; i < pathList()->count(); ++i)
            pathList()->setChecked(i, true);
        QSignalSpy finished(main.get(), &TfrmMain::backupFinished);
        click("btnBackup");
        ASSERT_TRUE(finished.wait(20000)) << dialogs.texts().join('\n').toStdString();
        dialogs.clear();
        waitForNextSecond();
    }

    static void waitForNextSecond()
    {
        const std::time_t now = std::time(nullptr);
        while (std::time(nullptr) == now)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }

    RestoreDialog* openDialog()
    {
        // A dialog closed before is gone first: it deletes itself once closed.
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        EXPECT_EQ(main->findChild<RestoreDialog*>(), nullptr);
        fromMenu(pathList(), "pathMenu", "actRestore");
        auto* dialog = main->findChild<RestoreDialog*>();
        EXPECT_NE(dialog, nullptr);
        if (dialog) {
            EXPECT_TRUE(QTest::qWaitForWindowExposed(dialog));
        }
        return dialog;
    }

    static QTreeView* tree(RestoreDialog& dialog) { return child<QTreeView>(dialog, "restoreTree"); }
    static MomentModel* model(RestoreDialog& dialog) { return qobject_cast<MomentModel*>(tree(dialog)->model()); }

    /// The names the tree shows below index, after opening it as a click on its arrow does.
    static QStringList namesBelow(RestoreDialog& dialog, const QModelIndex& index)
    {
        tree(dialog)->expand(index);
        MomentModel* shown = model(dialog);
        if (shown->canFetchMore(index))
            shown->fetchMore(index);
        QStringList names;
        for (int row = 0; row < shown->rowCount(index); ++row)
            names << shown->index(row, MomentModel::NameColumn, index).data().toString();
        return names;
    }

    /// Selects the set's first item at the dialog's current moment.
    static void selectItem(RestoreDialog& dialog, const QString& item)
    {
        const QModelIndex index = model(dialog)->itemIndex(item.toStdString());
        ASSERT_TRUE(index.isValid());
        tree(dialog)->selectionModel()->select(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    }

    /// Chooses folder as the target through Browse..., then presses Restore and waits for
    /// the restore to end.
    void restoreInto(RestoreDialog& dialog, const QString& target)
    {
        ASSERT_TRUE(QDir().mkpath(target));
        dialogs.setNextFolder(target);
        click(child<controls::TGradButton>(dialog, "restoreBrowse"));
        EXPECT_EQ(child<QLineEdit>(dialog, "restoreFolder")->text(), target);
        QSignalSpy finished(main.get(), &TfrmMain::backupFinished);
        auto* start = child<controls::TGradButton>(dialog, "restoreStart");
        ASSERT_TRUE(start->isEnabled());
        click(start);
        ASSERT_TRUE(finished.wait(20000));
    }
};

} // namespace

TEST_F(RestoreDialogTest, EachMomentShowsTheTreeAsItWasAndRestoresIt)
{
    writeFile(source() + "/tree/a.txt", "one", 7200);
    writeFile(source() + "/tree/sub/b.txt", "bee", 7200);
    startWithCheckedSet(destination(), {source() + "/tree"});
    runBackup();
    writeFile(source() + "/tree/a.txt", "two", 3600);
    writeFile(source() + "/tree/c.txt", "new", 3600);
    runBackup();

    RestoreDialog* dialog = openDialog();
    ASSERT_NE(dialog, nullptr);
    auto* moments = child<QListWidget>(*dialog, "restoreMoments");
    ASSERT_EQ(moments->count(), 2);
    EXPECT_TRUE(moments->item(0)->text().endsWith("(latest)")) << moments->item(0)->text().toStdString();
    EXPECT_EQ(moments->currentRow(), 0);
    // The highlighted item is chosen already; what it holds is read only when it is opened.
    const QModelIndex item = model(*dialog)->itemIndex((source() + "/tree").toStdString());
    ASSERT_TRUE(item.isValid());
    EXPECT_TRUE(tree(*dialog)->selectionModel()->isRowSelected(item.row(), item.parent()));
    EXPECT_TRUE(model(*dialog)->canFetchMore(item));
    EXPECT_EQ(namesBelow(*dialog, item), QStringList({"a.txt", "c.txt", "sub"}));

    moments->setCurrentRow(1);
    const QModelIndex before = model(*dialog)->itemIndex((source() + "/tree").toStdString());
    EXPECT_EQ(namesBelow(*dialog, before), QStringList({"a.txt", "sub"})) << "c.txt came later";
    EXPECT_EQ(namesBelow(*dialog, model(*dialog)->index(1, 0, before)), QStringList({"b.txt"}));

    selectItem(*dialog, source() + "/tree");
    const QString target = folder() + "/restored";
    restoreInto(*dialog, target);
    EXPECT_EQ(fileBytes(target + "/tree/a.txt"), "one");
    EXPECT_EQ(fileBytes(target + "/tree/sub/b.txt"), "bee");
    EXPECT_EQ(QFileInfo(target + "/tree/sub/b.txt").lastModified(),
              QFileInfo(source() + "/tree/sub/b.txt").lastModified());
    EXPECT_FALSE(QFile::exists(target + "/tree/c.txt"));
    ASSERT_EQ(dialogs.messages().size(), 1u);
    EXPECT_EQ(dialogs.messages()[0].text, "2 files restored to " + target + ".");
    EXPECT_FALSE(progress->isVisible());
}

TEST_F(RestoreDialogTest, SearchFindsEveryKeptVersionAndADifferentFileIsKeptUnlessReplaceIsTicked)
{
    writeFile(source() + "/tree/notes.txt", "first", 7200);
    writeFile(source() + "/tree/other.txt", "other", 7200);
    startWithCheckedSet(destination(), {source() + "/tree"});
    runBackup();
    writeFile(source() + "/tree/notes.txt", "second", 3600);
    runBackup();
    writeFile(source() + "/tree/notes.txt", "third", 1800);
    runBackup();

    RestoreDialog* dialog = openDialog();
    ASSERT_NE(dialog, nullptr);
    auto* search = child<QLineEdit>(*dialog, "restoreSearch");
    search->setText("NOTES");
    QTest::keyClick(search, Qt::Key_Return);
    auto* found = child<QTreeWidget>(*dialog, "restoreFound");
    ASSERT_TRUE(found->isVisible());
    ASSERT_EQ(found->topLevelItemCount(), 2) << "the two versions the later runs replaced";
    EXPECT_EQ(found->topLevelItem(0)->text(0), "notes.txt");
    EXPECT_EQ(found->topLevelItem(0)->text(1), source() + "/tree");
    auto* start = child<controls::TGradButton>(*dialog, "restoreStart");
    EXPECT_FALSE(start->isEnabled()) << "nothing chosen yet";

    // The older of the two, newest listed first.
    found->setCurrentItem(found->topLevelItem(1));
    const QString target = folder() + "/restored";
    restoreInto(*dialog, target);
    EXPECT_EQ(fileBytes(target + "/notes.txt"), "first");
    EXPECT_FALSE(QFile::exists(target + "/other.txt"));

    // The newer version over it: kept and named, then replaced once the box is ticked.
    for (const bool replace : {false, true}) {
        dialogs.clear();
        dialog = openDialog();
        ASSERT_NE(dialog, nullptr);
        search = child<QLineEdit>(*dialog, "restoreSearch");
        search->setText("notes");
        QTest::keyClick(search, Qt::Key_Return);
        found = child<QTreeWidget>(*dialog, "restoreFound");
        found->setCurrentItem(found->topLevelItem(0));
        child<QCheckBox>(*dialog, "restoreReplace")->setChecked(replace);
        restoreInto(*dialog, target);
        EXPECT_EQ(fileBytes(target + "/notes.txt"), replace ? "second" : "first");
        EXPECT_EQ(dialogs.texts().value(0).contains("left as they are"), !replace)
            << dialogs.texts().value(0).toStdString();
    }
}

TEST_F(RestoreDialogTest, AFolderThatIsNotThereIsRefusedAndTheDialogStays)
{
    writeFile(source() + "/tree/a.txt", "one", 3600);
    startWithCheckedSet(destination(), {source() + "/tree"});
    runBackup();

    RestoreDialog* dialog = openDialog();
    ASSERT_NE(dialog, nullptr);
    child<QLineEdit>(*dialog, "restoreFolder")->setText(folder() + "/nowhere");
    click(child<controls::TGradButton>(*dialog, "restoreStart"));
    ASSERT_EQ(dialogs.messages().size(), 1u);
    EXPECT_EQ(dialogs.messages()[0].text, "The folder " + folder() + "/nowhere does not exist.");
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_FALSE(main->backupRunning());

    // Back to the original places: nothing differs there, so nothing is written.
    dialogs.clear();
    child<QRadioButton>(*dialog, "restoreToOriginal")->setChecked(true);
    QSignalSpy finished(main.get(), &TfrmMain::backupFinished);
    click(child<controls::TGradButton>(*dialog, "restoreStart"));
    ASSERT_TRUE(finished.wait(20000));
    EXPECT_TRUE(dialogs.texts().value(0).startsWith("1 file already there as in the backup.") ||
                dialogs.texts().value(0).contains("1 file already there as in the backup."))
        << dialogs.texts().value(0).toStdString();
    EXPECT_EQ(fileBytes(source() + "/tree/a.txt"), "one");
}
