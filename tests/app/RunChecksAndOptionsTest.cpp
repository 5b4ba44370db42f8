// SPDX-License-Identifier: GPL-3.0-or-later
#include "AppFixture.h"

#include "app/ProgressTitle.h"
#include "app/TCheckListBox.h"
#include "app/TListBox.h"
#include "catalog/Catalog.h"
#include "catalog/RunHistory.h"
#include "controls/TGradCheckBox.h"
#include "platform/FileSystemIdentity.h"
#include "progress/Progress.h"
#include "support/TestMount.h"

#include <QAction>
#include <QCheckBox>
#include <QContextMenuEvent>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTest>

#include <sys/mount.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

using namespace stowmere;
using namespace stowmere::app;
using namespace stowmere::app::testing;

namespace {

class RunChecksAndOptions : public AppFixture {
protected:
    QString source() const { return folder() + "/source"; }

    void startWithSet(const QString& destination, const QStringList& paths)
    {
        ASSERT_TRUE(QDir().mkpath(destination));
        start();
        addBackupSet("Docs", destination);
        dialogs.setNextFiles(paths);
        click("btnAddFiles");
        ASSERT_EQ(pathItems().size(), paths.size());
        checkAll();
        dialogs.clear();
    }
    void checkAll()
    {
        for (int i = 0; i < pathList()->count(); ++i)
            pathList()->setChecked(i, true);
    }
    bool runBackup()
    {
        QSignalSpy finished(main.get(), &TfrmMain::backupFinished);
        click("btnBackup");
        return main->backupRunning() ? finished.wait(20000) : true;
    }
    std::int32_t setNumber() const { return main->currentSet()->number; }
    catalog::RunRecord lastRun() { return lastRecordedRun(setNumber()); }
};

} // namespace

TEST_F(RunChecksAndOptions, ACopyThatDoesNotFitIsAskedAboutBeforeAnythingIsWritten)
{
    stowmere::testing::TestMount disk(stowmere::testing::TestMount::Kind::Tmpfs, 256 * 1024);
    if (!disk.mounted())
        GTEST_SKIP() << disk.why();
    const QString destination = QString::fromStdString(disk.path());
    writeFile(source() + "/big.bin", QByteArray(1024 * 1024, 'b'));
    startWithSet(destination, {source() + "/big.bin"});

    dialogs.setNextAnswer(false);
    ASSERT_TRUE(runBackup());
    ASSERT_EQ(dialogs.messages().size(), 1u);
    EXPECT_EQ(dialogs.messages()[0].kind, MessageKind::Confirmation);
    const QString question = dialogs.messages()[0].text;
    // The lock file takes a page for the word of its holder.
    EXPECT_TRUE(question.startsWith("This backup needs 1024.00 KB; 252.00 KB is free at "))
        << question.toStdString();
    EXPECT_TRUE(question.endsWith(" is free at " + destination + ".\r\n\r\nStart anyway?"))
        << question.toStdString();
    EXPECT_FALSE(QFile::exists(destination + "/big.bin"));
    EXPECT_EQ(lastRun().outcome, catalog::RunOutcome::Refused);
    EXPECT_EQ(dialogs.unexpected(), 0);

    // Yes starts it, and the full disk stops it with the usual box.
    dialogs.clear();
    checkAll();
    dialogs.setNextAnswer(true);
    ASSERT_TRUE(runBackup());
    ASSERT_EQ(dialogs.messages().size(), 2u);
    EXPECT_EQ(dialogs.messages()[1].kind, MessageKind::Error);
    EXPECT_EQ(lastRun().outcome, catalog::RunOutcome::Failed);
    EXPECT_EQ(progress->windowTitle(), "Progress");
}

TEST_F(RunChecksAndOptions, ADestinationOnAnotherDriveIsAskedAboutAndTheDriveRecorded)
{
    const QString destination = folder() + "/dest";
    writeFile(source() + "/a.txt", "alpha");
    startWithSet(destination, {source() + "/a.txt"});
    ASSERT_TRUE(runBackup());
    const std::string recorded = main->catalog().options(setNumber()).driveIdentity;
    EXPECT_FALSE(recorded.empty()) << "the first run records the drive";
    EXPECT_TRUE(dialogs.messages().empty());

    // As if the last backup had gone to another drive.
    main->catalog().recordDriveIdentity(setNumber(), "uuid:another-drive");
    ASSERT_TRUE(QFile::remove(destination + "/a.txt"));
    checkAll();
    dialogs.setNextAnswer(false);
    ASSERT_TRUE(runBackup());
    EXPECT_EQ(dialogs.texts(), QStringList{"The Backup To Folder " + destination +
                                           " is on a different drive than at the last backup.\r\n\r\n"
                                           "Is the backup drive connected? Back up anyway?"});
    EXPECT_EQ(dialogs.messages()[0].kind, MessageKind::ConfirmationDefaultNo) << "Return must not back up";
    EXPECT_FALSE(QFile::exists(destination + "/a.txt")) << "nothing is copied";
    EXPECT_EQ(lastRun().outcome, catalog::RunOutcome::Refused);

    dialogs.setNextAnswer(true);
    ASSERT_TRUE(runBackup());
    EXPECT_EQ(fileBytes(destination + "/a.txt"), "alpha");
    EXPECT_EQ(main->catalog().options(setNumber()).driveIdentity, recorded) << "the drive is recorded again";
}

TEST_F(RunChecksAndOptions, ADestinationThatCannotBeWrittenGetsTheFailureBoxWithTheFolderAndTheReason)
{
    stowmere::testing::TestMount disk(stowmere::testing::TestMount::Kind::Tmpfs, 1024 * 1024);
    if (!disk.mounted())
        GTEST_SKIP() << disk.why();
    const QString destination = QString::fromStdString(disk.path());
    // Read-only even for root, as a write-protected card or a full-disk remount is.
    if (::mount(nullptr, disk.path().c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr) != 0)
        GTEST_SKIP() << "cannot remount read-only: " << std::strerror(errno);
    writeFile(source() + "/a.txt", "alpha");
    startWithSet(destination, {source() + "/a.txt"});

    ASSERT_TRUE(runBackup());
    EXPECT_EQ(dialogs.messages(),
              (std::vector<RecordingDialogs::Message>{
                  {MessageKind::Error, "Could not write to the Backup To Folder " + destination +
                                           "\r\n\r\nReason: Read-only file system"}}));
    EXPECT_EQ(lastRun().outcome, catalog::RunOutcome::Refused);
    EXPECT_FALSE(progress->isVisible()) << "nothing was started";

    // The preview is refused with the same words.
    dialogs.clear();
    fromMenu(setList(), "categoryMenu", "actPreviewBackup");
    ASSERT_EQ(dialogs.messages().size(), 1u);
    EXPECT_EQ(dialogs.messages()[0].kind, MessageKind::Error);
    EXPECT_EQ(main->findChild<QDialog*>("frmPreview"), nullptr);
}

TEST_F(RunChecksAndOptions, TheOptionsDialogSavesIntoTheTablesAndTheRunFollowsThem)
{
    const QString destination = folder() + "/dest";
    writeFile(source() + "/tree/keep.txt", "keep");
    writeFile(source() + "/tree/scratch.tmp", "scratch");
    startWithSet(destination, {source() + "/tree"});

    fromMenu(setList(), "categoryMenu", "actBackupOptions");
    auto* dialog = main->findChild<QDialog*>("frmOptions");
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(child<QSpinBox>(*dialog, "optionsKeepVersions")->value(), 5) << "the defaults";
    EXPECT_EQ(child<QLabel>(*dialog, "optionsDrive")->text(), "not recorded yet");
    EXPECT_TRUE(child<QCheckBox>(*dialog, "optionsGuard")->isChecked());
    auto* patterns = child<QPlainTextEdit>(*dialog, "optionsExclusions");
    patterns->setFocus();
    QTest::keyClicks(patterns, "*.tmp");
    QTest::keyClick(patterns, Qt::Key_Return);
    QTest::keyClicks(patterns, "build/");
    auto* keep = child<QSpinBox>(*dialog, "optionsKeepVersions");
    keep->setValue(1);
    click(child<QCheckBox>(*dialog, "optionsGuard"));
    EXPECT_FALSE(child<QCheckBox>(*dialog, "optionsMirror")->isChecked()) << "mirror is off until asked for";
    click(child<QCheckBox>(*dialog, "optionsMirror"));
    click(child<QWidget>(*dialog, "optionsSave"));
    ASSERT_TRUE(QTest::qWaitFor([this] { return main->findChild<QDialog*>("frmOptions") == nullptr; }));

    const catalog::SetOptions saved = main->catalog().options(setNumber());
    EXPECT_EQ(saved.exclusions, (std::vector<std::string>{"*.tmp", "build/"}));
    EXPECT_EQ(saved.keepVersions, 1);
    EXPECT_FALSE(saved.guard);
    EXPECT_TRUE(saved.mirror);
    EXPECT_TRUE(saved.cacheDirTag);

    // Cancel keeps what was saved.
    fromMenu(setList(), "categoryMenu", "actBackupOptions");
    dialog = main->findChild<QDialog*>("frmOptions");
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(child<QSpinBox>(*dialog, "optionsKeepVersions")->value(), 1);
    child<QSpinBox>(*dialog, "optionsKeepVersions")->setValue(7);
    click(child<QWidget>(*dialog, "optionsCancel"));
    ASSERT_TRUE(QTest::qWaitFor([this] { return main->findChild<QDialog*>("frmOptions") == nullptr; }));
    EXPECT_EQ(main->catalog().options(setNumber()), saved);

    ASSERT_TRUE(runBackup());
    EXPECT_EQ(fileBytes(destination + "/tree/keep.txt"), "keep");
    // The drive the run recorded is shown where it is mounted, never by its internal key.
    std::string error;
    const auto drive = files::identifyFileSystem(destination.toStdString(), error);
    ASSERT_TRUE(drive) << error;
    fromMenu(setList(), "categoryMenu", "actBackupOptions");
    dialog = main->findChild<QDialog*>("frmOptions");
    ASSERT_NE(dialog, nullptr);
    const QString shown = child<QLabel>(*dialog, "optionsDrive")->text();
    EXPECT_TRUE(shown.startsWith(QString::fromStdString(drive->mountPoint))) << shown.toStdString();
    EXPECT_FALSE(shown.contains(QString::fromStdString(drive->key))) << shown.toStdString();
    click(child<QWidget>(*dialog, "optionsCancel"));
    ASSERT_TRUE(QTest::qWaitFor([this] { return main->findChild<QDialog*>("frmOptions") == nullptr; }));
    EXPECT_FALSE(QFile::exists(destination + "/tree/scratch.tmp")) << "the pattern leaves it out";

    // Saved with the tables at exit, the options are there when the window opens again.
    closeMainWindow();
    destroyWindows();
    catalog::Catalog reread(folder().toStdString());
    reread.open();
    EXPECT_EQ(reread.options(reread.sets().front().number).keepVersions, 1);
}

TEST_F(RunChecksAndOptions, AMirroredFolderFoundEmptyIsAskedAboutWithNoAsTheDefault)
{
    const QString destination = folder() + "/dest";
    writeFile(source() + "/tree/a.txt", "a");
    writeFile(source() + "/tree/b.txt", "b");
    startWithSet(destination, {source() + "/tree"});
    catalog::SetOptions options = main->catalog().options(setNumber());
    options.mirror = true;
    main->catalog().setOptions(setNumber(), options);
    ASSERT_TRUE(runBackup());
    ASSERT_TRUE(QFile::exists(destination + "/tree/a.txt"));

    // Emptied, as a mount point without its disk: No keeps the copy.
    ASSERT_TRUE(QFile::remove(source() + "/tree/a.txt"));
    ASSERT_TRUE(QFile::remove(source() + "/tree/b.txt"));
    dialogs.clear();
    checkAll();
    dialogs.setNextAnswer(false);
    ASSERT_TRUE(runBackup());
    ASSERT_FALSE(dialogs.messages().empty());
    EXPECT_EQ(dialogs.messages()[0].kind, MessageKind::ConfirmationDefaultNo);
    EXPECT_TRUE(dialogs.messages()[0].text.contains("is empty, while its copy holds 2 files"))
        << dialogs.messages()[0].text.toStdString();
    EXPECT_TRUE(QFile::exists(destination + "/tree/a.txt"));
    EXPECT_EQ(dialogs.unexpected(), 0);

    // Yes moves both into the run's versions.
    dialogs.clear();
    checkAll();
    dialogs.setNextAnswer(true);
    ASSERT_TRUE(runBackup());
    EXPECT_FALSE(QFile::exists(destination + "/tree/a.txt"));
    EXPECT_EQ(lastRun().removed, 2u);
}

TEST(ProgressTitleTest, TellsTheTimeLeftOnceTheTotalAndASteadyRateAreKnown)
{
    using namespace std::chrono;
    ProgressTitle title;
    const auto start = ProgressTitle::Clock::now();
    title.setBytesCopied(start, 0);
    EXPECT_EQ(title.title(), "Progress");
    for (int s = 1; s <= 5; ++s)
        title.setBytesCopied(start + seconds(s), static_cast<std::uint64_t>(s) * 1000000);
    EXPECT_EQ(title.title(), "Progress") << "no total, no estimate";

    title.setTotal(185000000); // 180 MB left at 1 MB/s
    title.setFileProgress(start + seconds(6), 1000000);
    EXPECT_EQ(title.title(), "Progress - 3 min left");

    title.reset();
    EXPECT_EQ(title.title(), "Progress");
}
