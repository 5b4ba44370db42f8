// SPDX-License-Identifier: GPL-3.0-or-later
#include "AppFixture.h"

#include "controls/GradientButton.h"

#include "app/CheckListBox.h"
#include "app/HistoryDialog.h"
#include "app/ListBox.h"
#include "app/PreviewModel.h"
#include "catalog/Catalog.h"
#include "catalog/RunHistory.h"
#include "catalog/SetIdentity.h"
#include "controls/GradientCheckBox.h"
#include "support/ScopedEnv.h"

#include <QAction>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QDialog>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QHelpEvent>
#include <QLabel>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableView>
#include <QTest>

#include <filesystem>
#include <map>
#include <set>

using namespace stowmere;
using namespace stowmere::app;
using namespace stowmere::app::testing;

namespace {

void copyTime(const QString& from, const QString& to)
{
    std::filesystem::last_write_time(to.toStdString(), std::filesystem::last_write_time(from.toStdString()));
}

// Every file below folder with its size and modification time, to see what a run changed.
std::map<QString, QString> snapshot(const QString& folder)
{
    std::map<QString, QString> files;
    QDirIterator it(folder, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QFileInfo info(it.next());
        files[info.filePath()] =
            QString::number(info.size()) + "@" + QString::number(info.lastModified().toMSecsSinceEpoch());
    }
    return files;
}

class PreviewAndHistory : public AppFixture {
protected:
    QString source() const { return folder() + "/source"; }
    QString destination() const { return folder() + "/dest"; }

    void startWithSet(const QStringList& paths) { startWithCheckedSet(destination(), paths); }

    // Right-clicks row of list, as the user opens its context menu.
    void rightClick(QAbstractItemView* list, int row)
    {
        const QPoint pos = list->visualRect(list->model()->index(row, 0)).center();
        QContextMenuEvent event(QContextMenuEvent::Mouse, pos, list->viewport()->mapToGlobal(pos));
        QApplication::sendEvent(list->viewport(), &event);
    }

    // Clicks the entry of the open menu with this object name.
    void chooseFromMenu(const QString& menuName, const QString& actionName)
    {
        auto* menu = main->findChild<QMenu*>(menuName);
        ASSERT_NE(menu, nullptr);
        ASSERT_TRUE(QTest::qWaitFor([menu] { return menu->isVisible(); }));
        auto* action = main->findChild<QAction*>(actionName);
        ASSERT_NE(action, nullptr);
        ASSERT_TRUE(action->isEnabled());
        QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(action).center());
    }

    QDialog* openPreview()
    {
        rightClick(setList(), 0);
        chooseFromMenu("setMenu", "previewAction");
        auto* dialog = main->findChild<QDialog*>("previewDialog");
        EXPECT_NE(dialog, nullptr);
        return dialog;
    }

    // The preview's rows: path to reason.
    static std::map<QString, QString> rowsOf(QDialog& dialog)
    {
        const QAbstractItemModel* model = child<QTableView>(dialog, "previewList")->model();
        std::map<QString, QString> rows;
        for (int row = 0; row < model->rowCount(); ++row)
            rows[model->index(row, PreviewModel::PathColumn).data().toString()] =
                model->index(row, PreviewModel::ReasonColumn).data().toString();
        return rows;
    }

    std::vector<catalog::RunRecord> runs()
    {
        std::vector<std::string> warnings;
        return catalog::RunHistory(historyFile().toStdString())
            .runsOf(main->catalog().dataFolder(), main->currentSet()->number, warnings);
    }

    bool runBackup()
    {
        QSignalSpy finished(main.get(), &MainWindow::backupFinished);
        click("backupButton");
        return main->backupRunning() ? finished.wait(20000) : true;
    }
};

} // namespace

TEST_F(PreviewAndHistory, ThePreviewListsWhatTheRunThenCopiesAndWritesNothing)
{
    const QString tree = source() + "/tree";
    writeFile(tree + "/new.txt", "new");
    writeFile(tree + "/newer.txt", "newer contents");
    writeFile(tree + "/same.txt", "same");
    writeFile(tree + "/size.txt", "longer than before");
    writeFile(tree + "/sub/deep.txt", "deep");
    const QString copy = destination() + "/tree";
    writeFile(copy + "/newer.txt", "older contents", 3600);
    writeFile(copy + "/same.txt", "same");
    copyTime(tree + "/same.txt", copy + "/same.txt");
    writeFile(copy + "/size.txt", "shorter");
    copyTime(tree + "/size.txt", copy + "/size.txt");
    startWithSet({tree});
    QTest::mouseClick(checkBox("incrementalBox"), Qt::LeftButton);
    const auto before = snapshot(destination());

    QDialog* dialog = openPreview();
    ASSERT_NE(dialog, nullptr);
    EXPECT_TRUE(dialog->isVisible());
    QSignalSpy finished(dialog, SIGNAL(scanFinished()));
    ASSERT_TRUE(finished.wait(20000));

    const std::map<QString, QString> expected{{tree + "/new.txt", "new"},
                                              {tree + "/newer.txt", "newer"},
                                              {tree + "/size.txt", "size"},
                                              {tree + "/sub", "mkdir"},
                                              {tree + "/sub/deep.txt", "new"}};
    EXPECT_EQ(rowsOf(*dialog), expected);
    EXPECT_EQ(child<QLabel>(*dialog, "previewTotals")->text().toStdString(),
              "A backup would copy 4 files (39 Bytes) and create 1 folder. 1 file is up to date.");
    EXPECT_FALSE(child<QWidget>(*dialog, "previewBusy")->isVisible()) << "the busy picture stops at the end";
    EXPECT_EQ(snapshot(destination()), before) << "a preview writes nothing";
    EXPECT_EQ(pathList()->checkedCount(), 1) << "a preview leaves the checks alone";

    // Copying the whole list gives the whole report: the rows, then the totals.
    auto* list = child<QTableView>(*dialog, "previewList");
    list->setFocus();
    QTest::keyClick(list, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(list, Qt::Key_C, Qt::ControlModifier);
    const QStringList copied = QApplication::clipboard()->text().split('\n');
    ASSERT_EQ(copied.size(), 6);
    EXPECT_TRUE(copied.contains(tree + "/new.txt\t3 Bytes\tnew"));
    EXPECT_EQ(copied[5], child<QLabel>(*dialog, "previewTotals")->text());

    auto* close = child<stowmere::controls::GradientButton>(*dialog, "previewCancel");
    EXPECT_EQ(close->caption(), "&Close");
    QPointer<QDialog> closing(dialog);
    click(close);
    ASSERT_TRUE(QTest::qWaitFor([&] { return closing.isNull(); }));

    // The real run copies exactly the files the preview listed.
    ASSERT_TRUE(runBackup());
    std::set<std::string> changed;
    for (const auto& [path, stamp] : snapshot(destination())) {
        const auto old = before.find(path);
        // The run's lock file, its record and the replaced copies it keeps are not copies of the items.
        if (QFileInfo(path).isFile() && !path.endsWith(".stowmere-run.lock") &&
            !path.contains("/.stowmere-manifest") && !path.contains("/.stowmere-versions/") &&
            !path.contains("/.stowmere-runs/") && (old == before.end() || old->second != stamp))
            changed.insert(QString(path).replace(destination(), source()).toStdString());
    }
    const std::string listed = tree.toStdString();
    EXPECT_EQ(changed, (std::set<std::string>{listed + "/new.txt", listed + "/newer.txt",
                                              listed + "/size.txt", listed + "/sub/deep.txt"}));
    EXPECT_TRUE(dialogs.messages().empty());
}

TEST_F(PreviewAndHistory, APreviewReportsMissingItemsAndIsRefusedLikeTheRun)
{
    writeFile(source() + "/a.txt", "alpha");
    writeFile(source() + "/gone.txt", "soon gone");
    startWithSet({source() + "/a.txt", source() + "/gone.txt"});
    ASSERT_TRUE(QFile::remove(source() + "/gone.txt"));

    QDialog* dialog = openPreview();
    ASSERT_NE(dialog, nullptr);
    QSignalSpy finished(dialog, SIGNAL(scanFinished()));
    ASSERT_TRUE(finished.wait(20000));
    EXPECT_EQ(rowsOf(*dialog), (std::map<QString, QString>{{source() + "/a.txt", "new"},
                                                           {source() + "/gone.txt", "missing"}}));
    EXPECT_TRUE(child<QLabel>(*dialog, "previewTotals")->text().endsWith("1 item not found."));
    auto* messages = child<QWidget>(*dialog, "previewMessages");
    EXPECT_TRUE(messages->isVisible()) << "the run's box about missing items is shown in the dialog";
    EXPECT_TRUE(dialogs.messages().empty()) << "and not as a box of its own";
    delete dialog;

    // A destination that is gone refuses the preview with the run's own words.
    ASSERT_TRUE(QDir(destination()).removeRecursively());
    rightClick(pathList(), 0);
    chooseFromMenu("pathMenu", "previewAction");
    EXPECT_EQ(dialogs.texts(), QStringList{"Backup To Folder " + destination() + " does not exist."});
    EXPECT_EQ(main->findChild<QDialog*>("previewDialog"), nullptr);
}

TEST_F(PreviewAndHistory, ClosingThePreviewDuringItsScanStopsTheWorker)
{
    for (int i = 0; i < 1500; ++i)
        writeFile(source() + QStringLiteral("/many/f%1.txt").arg(i, 4, 10, QChar('0')), QByteArray(16, 'x'));
    startWithSet({source() + "/many"});
    const auto before = snapshot(destination());

    QDialog* dialog = openPreview();
    ASSERT_NE(dialog, nullptr);
    QPointer<QDialog> closing(dialog);
    QTest::keyClick(dialog, Qt::Key_Escape);
    // closed with Escape, the dialog deletes itself, which waits for its worker.
    ASSERT_TRUE(QTest::qWaitFor([&] { return closing.isNull(); }));
    EXPECT_EQ(snapshot(destination()), before);
}

TEST(PreviewModelTest, RowsArriveInBatchesAndUpToDateFilesOnlyCount)
{
    PreviewModel model;
    QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
    std::vector<backup::PreviewEntry> batch;
    for (int b = 0; b < 100; ++b) {
        batch.clear();
        for (int i = 0; i < 1000; ++i)
            batch.push_back(
                {backup::PreviewEntry::Kind::New, "/s/f" + std::to_string(b * 1000 + i), "", 2048, ""});
        batch.push_back({backup::PreviewEntry::Kind::Same, "/s/same", "", 1, ""});
        model.append(batch);
    }
    EXPECT_EQ(model.rowCount(), 100000);
    EXPECT_EQ(inserted.count(), 100) << "one insertion per batch";
    EXPECT_EQ(model.index(99999, PreviewModel::PathColumn).data().toString(), "/s/f99999");
    EXPECT_EQ(model.index(0, PreviewModel::SizeColumn).data().toString(), "2.00 KB");

    model.append({{backup::PreviewEntry::Kind::Unreadable, "/s/locked", "", 0, "Permission denied"},
                  {backup::PreviewEntry::Kind::Mkdir, "/s/sub", "/d/sub", 0, ""}});
    EXPECT_EQ(model.index(100000, PreviewModel::ReasonColumn).data().toString(),
              "unreadable: Permission denied");
    EXPECT_EQ(model.index(100000, PreviewModel::SizeColumn).data().toString(), "");
    EXPECT_EQ(model.index(100001, PreviewModel::SizeColumn).data().toString(), "") << "a folder has no size";
    model.append({});
    EXPECT_EQ(inserted.count(), 101) << "an empty batch inserts nothing";
}

TEST_F(PreviewAndHistory, EveryRunIsRecordedAndTheTooltipAndHistoryShowTheLast)
{
    writeFile(source() + "/a.txt", "alpha");
    writeFile(source() + "/b.txt", "beta");
    startWithSet({source() + "/a.txt", source() + "/b.txt"});
    EXPECT_EQ(setList()->item(0)->toolTip(), "Double-click to edit Backup Information\nLast backup: never");

    ASSERT_TRUE(runBackup());
    pathList()->setChecked(0, true);
    pathList()->setChecked(1, true);
    QTest::mouseClick(checkBox("incrementalBox"), Qt::LeftButton);
    ASSERT_TRUE(runBackup());
    // A refused run is a run as well: the destination is gone.
    ASSERT_TRUE(QDir(destination()).removeRecursively());
    pathList()->setChecked(0, true);
    ASSERT_TRUE(runBackup());
    EXPECT_EQ(dialogs.texts(), QStringList{"Backup To Folder " + destination() + " does not exist."});

    const std::vector<catalog::RunRecord> recorded = runs();
    ASSERT_EQ(recorded.size(), 3u);
    EXPECT_EQ(recorded[0].mode, catalog::RunMode::Full);
    EXPECT_EQ(recorded[0].outcome, catalog::RunOutcome::Ok);
    EXPECT_EQ(recorded[0].files, 2u);
    EXPECT_EQ(recorded[0].program, "stowmere");
    EXPECT_EQ(recorded[1].mode, catalog::RunMode::Incremental);
    EXPECT_EQ(recorded[1].files, 0u);
    EXPECT_EQ(recorded[2].outcome, catalog::RunOutcome::Refused);
    EXPECT_EQ(recorded[2].reason, "Backup To Folder " + destination().toStdString() + " does not exist.");

    // The tooltip names the last backup, not the refusal.
    const QString tooltip = setList()->item(0)->toolTip();
    EXPECT_TRUE(tooltip.startsWith("Double-click to edit Backup Information\nLast backup: "))
        << tooltip.toStdString();
    EXPECT_TRUE(tooltip.endsWith(", 0 files, ok")) << tooltip.toStdString();

    // A run of stowmere-cli shows once the tooltip is asked for again.
    catalog::RunRecord fromCli = recorded[0];
    fromCli.files = 42;
    fromCli.program = "stowmere-cli";
    ASSERT_EQ(catalog::RunHistory(historyFile().toStdString()).append(fromCli), "");
    const QPoint pos = setList()->visualItemRect(setList()->item(0)).center();
    QHelpEvent help(QEvent::ToolTip, pos, setList()->viewport()->mapToGlobal(pos));
    QApplication::sendEvent(setList()->viewport(), &help);
    EXPECT_TRUE(setList()->item(0)->toolTip().endsWith(", 42 files, ok"));

    rightClick(setList(), 0);
    chooseFromMenu("setMenu", "historyAction");
    auto* history = main->findChild<QDialog*>("historyDialog");
    ASSERT_NE(history, nullptr);
    const QAbstractItemModel* model = child<QTableView>(*history, "historyList")->model();
    ASSERT_EQ(model->rowCount(), 4);
    EXPECT_EQ(model->index(0, 4).data().toString(), "42") << "newest first";
    EXPECT_EQ(model->index(1, 3).data().toString(), "refused");
    EXPECT_EQ(model->index(2, 2).data().toString(), "incremental");
    EXPECT_EQ(model->index(3, 2).data().toString(), "full");
    EXPECT_FALSE(child<QLabel>(*history, "historyWarnings")->isVisible());
    // The reason shows whole: its column is as wide as its text, nothing is cut to "...".
    auto* table = child<QTableView>(*history, "historyList");
    const QString reason = model->index(1, 8).data().toString();
    EXPECT_EQ(reason, "Backup To Folder " + destination() + " does not exist.");
    EXPECT_GE(table->columnWidth(8), table->fontMetrics().horizontalAdvance(reason));
    EXPECT_NE(history->findChild<QWidget*>("dialogTitle"), nullptr) << "in the program's look";
    click(child<QWidget>(*history, "historyClose"));
}

TEST_F(PreviewAndHistory, RunsOfALostSetAreNeverShownAsTheNextSetGivenItsNumber)
{
    // "Tiny disk", set 1, ran twice and was never saved (its window was killed); an older
    // line without an identity is from a set deleted before this one was made.
    catalog::RunRecord lost;
    lost.dataFolder = catalog::historyFolderKey(folder().toStdString());
    lost.setNumber = 1;
    lost.description = "Tiny disk";
    lost.destination = "/media/tiny";
    lost.start = catalog::RunRecord::Clock::now() - std::chrono::hours(2);
    lost.end = lost.start + std::chrono::minutes(1);
    lost.files = 9;
    const catalog::RunHistory history(historyFile().toStdString());
    ASSERT_EQ(history.append(lost), "");
    lost.setIdentity = catalog::newSetIdentity(lost.start);
    ASSERT_EQ(history.append(lost), "");

    writeFile(source() + "/a.txt", "alpha");
    startWithSet({source() + "/a.txt"});
    ASSERT_EQ(main->currentSet()->number, 1);
    EXPECT_TRUE(setList()->item(0)->toolTip().endsWith("Last backup: never"))
        << setList()->item(0)->toolTip().toStdString();
    ASSERT_TRUE(runBackup());

    rightClick(setList(), 0);
    chooseFromMenu("setMenu", "historyAction");
    auto* dialog = main->findChild<QDialog*>("historyDialog");
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(child<QTableView>(*dialog, "historyList")->model()->rowCount(), 1) << "its own run alone";
    click(child<QWidget>(*dialog, "historyClose"));
}

TEST_F(PreviewAndHistory, AHistoryThatCannotBeWrittenIsToldOnceAndTheRunsStillHappen)
{
    writeFile(source() + "/a.txt", "alpha");
    // The state folder is a file: nothing can be made below it.
    const QString blocked = folder() + "/blocked";
    writeFile(blocked, "not a folder");
    stowmere::testing::ScopedEnv stateHome("XDG_STATE_HOME", blocked.toUtf8().constData());
    startWithSet({source() + "/a.txt"});

    ASSERT_TRUE(runBackup());
    pathList()->setChecked(0, true);
    ASSERT_TRUE(runBackup());
    ASSERT_EQ(dialogs.messages().size(), 1u);
    EXPECT_EQ(dialogs.messages()[0].kind, MessageKind::Error);
    EXPECT_TRUE(dialogs.messages()[0].text.startsWith("Cannot record the run in " + blocked +
                                                      "/stowmere/history.jsonl"))
        << dialogs.messages()[0].text.toStdString();
    EXPECT_EQ(fileBytes(destination() + "/a.txt"), "alpha");
}

TEST_F(PreviewAndHistory, MenuEntriesAreOffWhileARunIsActive)
{
    for (int i = 0; i < 200; ++i)
        writeFile(source() + QStringLiteral("/many/f%1.txt").arg(i, 4, 10, QChar('0')), QByteArray(64, 'x'));
    startWithSet({source() + "/many"});
    auto* preview = main->findChild<QAction*>("previewAction");
    auto* history = main->findChild<QAction*>("historyAction");
    QSignalSpy finished(main.get(), &MainWindow::backupFinished);
    click("backupButton");
    ASSERT_TRUE(main->backupRunning());
    EXPECT_FALSE(preview->isEnabled());
    EXPECT_FALSE(history->isEnabled());
    ASSERT_TRUE(finished.wait(20000));
    EXPECT_TRUE(preview->isEnabled());
    EXPECT_TRUE(history->isEnabled());
}

TEST_F(PreviewAndHistory, TheHistoryShowsTheNotesOfTheRunPicked)
{
    catalog::RunRecord older;
    older.destination = "sftp://backup.example/srv/copies";
    older.start = catalog::RunRecord::Clock::now() - std::chrono::hours(3);
    older.end = older.start + std::chrono::minutes(1);
    older.notes = {"The run lock of sftp://backup.example/srv/copies was taken over.",
                   "2 copies that verification had found damaged or missing were copied again."};
    catalog::RunRecord newer = older;
    newer.start = older.start + std::chrono::hours(1);
    newer.end = newer.start + std::chrono::minutes(1);
    newer.notes.clear();
    app::HistoryDialog dialog(QStringLiteral("Offsite"), {older, newer}, {});
    dialog.show();
    auto* table = child<QTableView>(dialog, "historyList");
    auto* notes = child<QLabel>(dialog, "historyNotes");
    // The newest run is picked first, and has none.
    EXPECT_EQ(table->currentIndex().row(), 0);
    EXPECT_FALSE(notes->isVisible());
    table->setCurrentIndex(table->model()->index(1, 0));
    ASSERT_TRUE(notes->isVisible());
    const QString shown = notes->text();
    EXPECT_TRUE(shown.startsWith("Notes of the run started " + app::HistoryDialog::localTime(older.start)))
        << shown.toStdString();
    EXPECT_TRUE(shown.contains("was taken over.\n2 copies that verification")) << shown.toStdString();
    EXPECT_TRUE(table->model()
                    ->index(1, 0)
                    .data(Qt::ToolTipRole)
                    .toString()
                    .contains("Note: The run lock of sftp://backup.example/srv/copies was taken over."));
    table->setCurrentIndex(table->model()->index(0, 0));
    EXPECT_FALSE(notes->isVisible());
}
