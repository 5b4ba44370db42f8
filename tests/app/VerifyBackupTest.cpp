// SPDX-License-Identifier: GPL-3.0-or-later
#include "AppFixture.h"

#include "app/CheckListBox.h"
#include "app/ListBox.h"
#include "catalog/RunRecord.h"
#include "progress/ProgressWindow.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSignalSpy>

#include <fcntl.h>
#include <sys/stat.h>

using namespace stowmere;
using namespace stowmere::app;
using namespace stowmere::app::testing;

namespace {

class VerifyBackup : public AppFixture {
protected:
    QString source() const { return folder() + "/source"; }
    QString destination() const { return folder() + "/dest"; }

    /// A set backing up the folder "tree" of the source, backed up once.
    void backUpTree(int files)
    {
        for (int i = 0; i < files; ++i)
            writeFile(source() + QStringLiteral("/tree/file%1.txt").arg(i, 2, 10, QLatin1Char('0')),
                      "contents " + QByteArray::number(i), 3600);
        startWithCheckedSet(destination(), {source() + "/tree"});
        QSignalSpy finished(main.get(), &MainWindow::backupFinished);
        click("backupButton");
        ASSERT_TRUE(finished.wait(20000));
        dialogs.clear();
    }

    /// Changes one byte of a copy and puts its modification time back: rot that size and
    /// time do not show.
    static void flipByte(const QString& path)
    {
        struct stat before {};
        ASSERT_EQ(::stat(QFile::encodeName(path).constData(), &before), 0);
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::ReadWrite));
        QByteArray bytes = file.readAll();
        bytes[0] = static_cast<char>(bytes[0] ^ 0x20);
        file.seek(0);
        file.write(bytes);
        file.close();
        const timespec times[2] = {before.st_atim, before.st_mtim};
        ASSERT_EQ(::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0), 0);
    }

    QStringList verify()
    {
        QSignalSpy finished(main.get(), &MainWindow::backupFinished);
        fromMenu(setList(), "setMenu", "verifyAction");
        EXPECT_TRUE(main->backupRunning());
        EXPECT_TRUE(finished.wait(20000));
        EXPECT_FALSE(progress->isVisible());
        EXPECT_EQ(dialogs.messages().size(), 1u);
        return dialogs.messages().empty() ? QStringList() : dialogs.messages().back().text.split("\r\n");
    }
};

} // namespace

TEST_F(VerifyBackup, ASoundBackupEndsInOneBoxSayingAllMatchAndIsRecorded)
{
    backUpTree(3);
    const QStringList lines = verify();
    EXPECT_EQ(dialogs.messages().back().kind, MessageKind::Information);
    ASSERT_EQ(lines.size(), 1);
    EXPECT_TRUE(lines[0].startsWith("Verified 3 copies (")) << lines[0].toStdString();
    EXPECT_TRUE(lines[0].endsWith("): all match")) << lines[0].toStdString();

    const catalog::RunRecord record = lastRecordedRun(main->currentSet()->number);
    EXPECT_EQ(record.mode, catalog::RunMode::Verify);
    EXPECT_EQ(record.outcome, catalog::RunOutcome::Ok);
    // The window is free again for the next command.
    EXPECT_FALSE(main->backupRunning());
    EXPECT_TRUE(widget("backupButton")->isEnabled());
}

TEST_F(VerifyBackup, DamagedAndMissingCopiesAreListedByPath)
{
    backUpTree(3);
    const QString copies = destination() + "/tree";
    ASSERT_TRUE(QFileInfo::exists(copies + "/file00.txt")) << "the copy is where the layout puts it";
    flipByte(copies + "/file00.txt");
    ASSERT_TRUE(QFile::remove(copies + "/file01.txt"));

    const QStringList lines = verify();
    EXPECT_EQ(dialogs.messages().back().kind, MessageKind::Error);
    ASSERT_GE(lines.size(), 3);
    EXPECT_TRUE(lines[0].contains("1 damaged, 1 missing")) << lines[0].toStdString();
    EXPECT_TRUE(lines.filter(QRegularExpression("^damaged: .*/file00\\.txt")).size() == 1)
        << lines.join('\n').toStdString();
    EXPECT_TRUE(lines.filter(QRegularExpression("^missing: .*/file01\\.txt")).size() == 1)
        << lines.join('\n').toStdString();
    EXPECT_EQ(lastRecordedRun(main->currentSet()->number).outcome, catalog::RunOutcome::Failed);

    // The next backup copies both again, and then all match.
    dialogs.clear();
    for (int i = 0; i < pathList()->count(); ++i)
        pathList()->setChecked(i, true);
    QSignalSpy finished(main.get(), &MainWindow::backupFinished);
    click("backupButton");
    ASSERT_TRUE(finished.wait(20000));
    dialogs.clear();
    const QStringList after = verify();
    ASSERT_FALSE(after.isEmpty());
    EXPECT_TRUE(after[0].endsWith("all match")) << after.join('\n').toStdString();
}

TEST_F(VerifyBackup, TheBoxListsFiftyProblemsAtMostThenACount)
{
    backUpTree(56);
    const QString copies = destination() + "/tree";
    for (int i = 0; i < 56; ++i)
        flipByte(copies + QStringLiteral("/file%1.txt").arg(i, 2, 10, QLatin1Char('0')));

    const QStringList lines = verify();
    ASSERT_EQ(lines.size(), 52) << lines.join('\n').toStdString();
    EXPECT_TRUE(lines[0].contains("56 damaged")) << lines[0].toStdString();
    EXPECT_TRUE(lines[50].startsWith("damaged: "));
    EXPECT_EQ(lines[51], "... and 6 more problems.");
}
