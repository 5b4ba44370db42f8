// SPDX-License-Identifier: GPL-3.0-or-later
#include "AppFixture.h"

#include "app/CheckListBox.h"
#include "controls/GradientButton.h"
#include "controls/GradientCheckBox.h"
#include "platform/FileLock.h"
#include "progress/CylinderProgressBar.h"
#include "progress/ProgressWindow.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QSignalSpy>
#include <QTest>

using stowmere::controls::GradientButton;

using namespace stowmere::app;
using namespace stowmere::app::testing;

namespace {

class BackupRun : public AppFixture {
protected:
    QString source() const { return folder() + "/source"; }
    QString destination() const { return folder() + "/dest"; }

    void startWithSet(const QStringList& paths) { startWithCheckedSet(destination(), paths); }

    bool waitForRunEnd(int milliseconds = 20000)
    {
        return QTest::qWaitFor([this] { return !main->backupRunning(); }, milliseconds);
    }
};

} // namespace

TEST_F(BackupRun, ThreeItemsStepTheBarCountFilesAndAreUncheckedAsTheyFinish)
{
    writeFile(source() + "/a.txt", "alpha");
    writeFile(source() + "/tree/one.txt", "one");
    writeFile(source() + "/tree/sub/two.txt", "two");
    writeFile(source() + "/z.txt", "zulu");
    startWithSet({source() + "/a.txt", source() + "/tree", source() + "/z.txt"});

    QStringList barTexts;
    QList<QList<bool>> checksAtStep;
    QObject::connect(main.get(), &MainWindow::backupItemDone, [&] {
        barTexts << progress->progressBar()->displayText();
        checksAtStep << QList<bool>{pathList()->checked(0), pathList()->checked(1), pathList()->checked(2)};
        EXPECT_FALSE(widget<GradientButton>("backupButton")->isEnabled())
            << "commands are off during the run";
        EXPECT_FALSE(widget<GradientButton>("addFilesButton")->isEnabled());
        EXPECT_TRUE(pathList()->isEnabled()) << "checking items stays possible";
    });
    QSignalSpy finished(main.get(), &MainWindow::backupFinished);
    click("backupButton");
    EXPECT_TRUE(progress->isVisible());
    EXPECT_EQ(progress->headline(), "Backup in Progress...");
    ASSERT_TRUE(finished.wait(20000));

    EXPECT_EQ(barTexts, (QStringList{"33%", "67%", "Backup Complete"}));
    // Each item is still checked when the bar steps past it and unchecked right after.
    EXPECT_EQ(checksAtStep,
              (QList<QList<bool>>{{true, true, true}, {false, true, true}, {false, false, true}}));
    EXPECT_EQ(pathList()->checkedCount(), 0);
    EXPECT_EQ(progress->counterLabel()->text(), "4") << "files are counted, not items";
    EXPECT_FALSE(progress->isVisible());
    EXPECT_EQ(progress->progressBar()->position(), 0);
    EXPECT_TRUE(widget<GradientButton>("backupButton")->isEnabled());
    EXPECT_TRUE(dialogs.messages().empty());

    EXPECT_EQ(fileBytes(destination() + "/a.txt"), "alpha");
    EXPECT_EQ(fileBytes(destination() + "/z.txt"), "zulu");
    EXPECT_EQ(fileBytes(destination() + "/tree/one.txt"), "one");
    EXPECT_EQ(fileBytes(destination() + "/tree/sub/two.txt"), "two");
    EXPECT_EQ(QFileInfo(destination() + "/a.txt").lastModified(),
              QFileInfo(source() + "/a.txt").lastModified());
}

TEST_F(BackupRun, TheStartChecksSayWhatIsMissing)
{
    writeFile(source() + "/a.txt", "alpha");
    startWithSet({source() + "/a.txt"});
    QTest::mouseClick(checkBox("selectAllBox"), Qt::LeftButton); // unchecks all
    click("backupButton");
    EXPECT_EQ(dialogs.texts(), QStringList{"No file or folder is selected for Backup."});

    ASSERT_TRUE(QDir(destination()).removeRecursively());
    pathList()->setChecked(0, true);
    click("backupButton");
    EXPECT_EQ(dialogs.texts().back(), "Backup To Folder " + destination() + " does not exist.");
    EXPECT_FALSE(main->backupRunning());
    EXPECT_FALSE(progress->isVisible());
}

TEST_F(BackupRun, CancelStopsAfterTheCurrentFileAndTheItemKeepsItsCheck)
{
    for (int i = 0; i < 3000; ++i)
        writeFile(source() + QStringLiteral("/many/f%1.txt").arg(i, 4, 10, QChar('0')), QByteArray(64, 'x'));
    writeFile(source() + "/zz.txt", "later");
    startWithSet({source() + "/many", source() + "/zz.txt"});

    click("backupButton");
    ASSERT_TRUE(QTest::qWaitFor([this] { return progress->filesCopied() > 0 || !main->backupRunning(); }));
    QTest::mouseClick(progress->cancelButton(), Qt::LeftButton);
    EXPECT_EQ(progress->headline(), "Finalizing...");
    ASSERT_TRUE(waitForRunEnd());

    const int copied = static_cast<int>(QDir(destination() + "/many").entryList(QDir::Files).size());
    EXPECT_GT(copied, 0);
    EXPECT_LT(copied, 3000) << "the run stopped early";
    EXPECT_EQ(progress->filesCopied(), copied) << "the final figure is exact";
    EXPECT_TRUE(pathList()->checked(0)) << "the cancelled item stays checked";
    EXPECT_TRUE(pathList()->checked(1)) << "later items are not touched";
    EXPECT_FALSE(QFile::exists(destination() + "/zz.txt"));
    EXPECT_FALSE(progress->isVisible());
}

TEST_F(BackupRun, ClosingTheWindowDuringARunCancelsItAndThenCloses)
{
    for (int i = 0; i < 3000; ++i)
        writeFile(source() + QStringLiteral("/many/f%1.txt").arg(i, 4, 10, QChar('0')), QByteArray(64, 'x'));
    startWithSet({source() + "/many"});

    QSignalSpy closed(main.get(), &MainWindow::closed);
    click("backupButton");
    ASSERT_TRUE(QTest::qWaitFor([this] { return progress->filesCopied() > 0 || !main->backupRunning(); }));
    main->close();
    EXPECT_TRUE(main->isVisible()) << "the window waits for the run";
    ASSERT_TRUE(closed.wait(20000));
    EXPECT_FALSE(main->backupRunning());
    EXPECT_LT(QDir(destination() + "/many").entryList(QDir::Files).size(), 3000);
    EXPECT_TRUE(QFile::exists(folder() + "/Category.cds")) << "the tables were saved";
    EXPECT_TRUE(QFile::exists(folder() + "/Path.cds"));
}

TEST_F(BackupRun, AFailedCopyIsReportedWhileTheRunWaitsAndStopsIt)
{
    writeFile(source() + "/a.txt", "alpha");
    writeFile(source() + "/b.txt", "bravo");
    startWithSet({source() + "/a.txt", source() + "/b.txt"});
    // A folder where the copy of a.txt should go, which cannot be kept aside as a version
    // (a file stands where the versions folder goes): the copy cannot replace it.
    ASSERT_TRUE(QDir().mkpath(destination() + "/a.txt"));
    writeFile(destination() + "/.stowmere-versions", "in the way");

    bool runWaited = false;
    dialogs.setOnMessage([&](MessageKind, const QString&) { runWaited = main->backupRunning(); });
    click("backupButton");
    ASSERT_TRUE(waitForRunEnd());
    ASSERT_EQ(dialogs.messages().size(), 1u);
    EXPECT_EQ(dialogs.messages()[0].kind, MessageKind::Error);
    EXPECT_TRUE(dialogs.texts()[0].startsWith("Could not backup file: " + source() +
                                              "/a.txt\r\n\r\nDrive could be full."));
    EXPECT_TRUE(dialogs.texts()[0].endsWith(
        "administrator rights.\r\n\r\nReason: cannot keep the copy it replaces in " + destination() +
        "/.stowmere-versions: File exists"))
        << dialogs.texts()[0].toStdString();
    EXPECT_TRUE(runWaited) << "the box is shown while the run is still going";
    EXPECT_FALSE(QFile::exists(destination() + "/b.txt")) << "the run stopped after the failed item";
    EXPECT_TRUE(pathList()->checked(0));
}

TEST_F(BackupRun, IncrementalCopiesNothingWhenTheBackupIsUpToDate)
{
    writeFile(source() + "/a.txt", "alpha");
    writeFile(source() + "/tree/one.txt", "one");
    startWithSet({source() + "/a.txt", source() + "/tree"});
    click("backupButton");
    ASSERT_TRUE(waitForRunEnd());
    EXPECT_EQ(progress->filesCopied(), 2);

    QStringList barTexts;
    QObject::connect(main.get(), &MainWindow::backupItemDone,
                     [&] { barTexts << progress->progressBar()->displayText(); });
    QTest::mouseClick(checkBox("incrementalBox"), Qt::LeftButton);
    ASSERT_TRUE(checkBox("incrementalBox")->isChecked());
    pathList()->setChecked(0, true);
    pathList()->setChecked(1, true);
    click("backupButton");
    ASSERT_TRUE(waitForRunEnd());
    EXPECT_EQ(progress->filesCopied(), 0) << "nothing was older than its source";
    EXPECT_EQ(barTexts, (QStringList{"50%", "Backup Complete"}));
    EXPECT_TRUE(dialogs.messages().empty());
}

TEST_F(BackupRun, WhatCouldNotBeReadIsListedInOneInformationBoxAtTheEnd)
{
    if (!QFileInfo::exists("/proc/version"))
        GTEST_SKIP() << "no /proc here";
    writeFile(source() + "/a.txt", "alpha");
    startWithSet({"/proc/version", source() + "/a.txt"});

    click("backupButton");
    ASSERT_TRUE(waitForRunEnd());

    EXPECT_TRUE(QFile::exists(destination() + "/a.txt")) << "the run went on";
    EXPECT_FALSE(QFile::exists(destination() + "/version"));
    ASSERT_EQ(dialogs.messages().size(), 1u);
    EXPECT_EQ(dialogs.messages()[0].kind, MessageKind::Information);
    EXPECT_EQ(dialogs.texts()[0],
              "These files could not be read and were not backed up:\r\n/proc/version: it lies on a "
              "system file system (such as /proc or /sys) that holds no data");
    EXPECT_FALSE(progress->isVisible()) << "the box comes after the progress window closed";
}

TEST_F(BackupRun, ItemInsideTheDestinationOrABusyDestinationIsRefusedAtStart)
{
    writeFile(destination() + "/Old/a.txt", "alpha");
    startWithSet({destination() + "/Old"});

    click("backupButton");
    EXPECT_FALSE(main->backupRunning());
    EXPECT_EQ(dialogs.texts(), QStringList{"The Backup To Folder " + destination() + " and the item " +
                                           destination() + "/Old lie inside each other."});
    EXPECT_EQ(dialogs.messages()[0].kind, MessageKind::Information);
    EXPECT_FALSE(progress->isVisible());

    dialogs.clear();
    writeFile(source() + "/b.txt", "bravo");
    dialogs.setNextFiles({source() + "/b.txt"});
    click("addFilesButton");
    pathList()->setChecked(0, false);
    for (int i = 0; i < pathList()->count(); ++i)
        pathList()->setChecked(i, pathList()->itemText(i) == source() + "/b.txt");
    const auto held = stowmere::files::FileLock::acquire(
        (destination() + "/.stowmere-run.lock").toStdString(), std::chrono::milliseconds(0));
    ASSERT_TRUE(held);
    click("backupButton");
    ASSERT_TRUE(waitForRunEnd());
    EXPECT_EQ(dialogs.texts(), QStringList{"Another backup into " + destination() + " is running."});
    EXPECT_EQ(dialogs.messages()[0].kind, MessageKind::Information);
    EXPECT_FALSE(QFile::exists(destination() + "/b.txt"));
    EXPECT_FALSE(progress->isVisible());
}

TEST_F(BackupRun, DestroyingTheWindowDuringARunStopsItWithoutWaitingOnTheWindow)
{
    for (int i = 0; i < 200; ++i)
        writeFile(source() + QStringLiteral("/many/f%1.txt").arg(i, 4, 10, QChar('0')), QByteArray(64, 'x'));
    startWithSet({source() + "/many"});

    click("backupButton");
    ASSERT_TRUE(main->backupRunning());
    // No event loop turns from here on: the run's questions to the window (is this item
    // checked?) are left unanswered, and the destruction must still end.
    destroyWindows();
    EXPECT_LT(QDir(destination() + "/many").entryList(QDir::Files).size(), 200);
    EXPECT_TRUE(QFile::exists(folder() + "/Category.cds")) << "the tables were saved";
}
