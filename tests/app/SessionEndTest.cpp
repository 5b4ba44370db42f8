// SPDX-License-Identifier: GPL-3.0-or-later
#include "AppFixture.h"

#include "app/ListBox.h"
#include "app/SessionEnd.h"
#include "catalog/Catalog.h"
#include "controls/GradientButton.h"
#include "progress/ProgressWindow.h"

#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <csignal>
#include <memory>
#include <set>

using namespace stowmere::app;
using namespace stowmere::app::testing;

namespace {

using SessionEndTest = AppFixture;

/// The sets of a data folder as "description|destination|paths", in the list's order.
QStringList setsIn(const QString& folder)
{
    stowmere::catalog::Catalog catalog(folder.toStdString());
    catalog.open();
    QStringList lines;
    for (const auto& set : catalog.sets()) {
        QStringList items;
        for (const auto& path : catalog.paths(set.number))
            items << QString::fromStdString(path.item);
        lines << QString::fromStdString(set.description + "|" + set.destination + "|") + items.join(',');
    }
    return lines;
}

/// Adds a set through a window's Add button and its editor.
void addSetIn(MainWindow& window, SetEditorDialog& editor, const QString& description, const QString& folder)
{
    QTimer::singleShot(0, &editor, [&editor, description, folder] {
        if (!QTest::qWaitFor([&editor] { return editor.isVisible(); }))
            ADD_FAILURE() << "the editor did not show";
        fillAndSave(editor, description, folder);
    });
    click(child<stowmere::controls::GradientButton>(window, "addSetButton"));
}

} // namespace

TEST_F(SessionEndTest, WorkDoneInTheWindowSurvivesSigtermSighupAndSigint)
{
    for (const int signal : {SIGTERM, SIGHUP, SIGINT}) {
        start();
        const QString name = QString("Set %1").arg(signal);
        addBackupSet(name, "/backup/" + name);
        dialogs.setNextFiles({"/etc/hosts"});
        click("addFilesButton");

        SessionEnd session;
        QObject::connect(&session, &SessionEnd::ending, main.get(), &MainWindow::endSession);
        QSignalSpy closed(main.get(), &MainWindow::closed);
        ASSERT_EQ(::raise(signal), 0);
        ASSERT_TRUE(closed.wait(5000)) << "the window did not end on signal " << signal;
        EXPECT_FALSE(main->isVisible());
        EXPECT_TRUE(setsIn(folder()).contains(name + "|/backup/" + name + "|/etc/hosts"))
            << setsIn(folder()).join('\n').toStdString();
        EXPECT_TRUE(dialogs.messages().empty()) << "nobody is there to answer at the end of a session";
        destroyWindows();
    }
    EXPECT_EQ(setsIn(folder()).size(), 3);
}

TEST_F(SessionEndTest, TheSessionManagersCommitRequestSavesAndTheWindowStays)
{
    start();
    addBackupSet("Docs", "/backup/docs");
    main->commitSession();
    EXPECT_EQ(setsIn(folder()), QStringList{"Docs|/backup/docs|"});
    EXPECT_TRUE(main->isVisible());
    // Work after the commit is saved at Exit as usual.
    addBackupSet("More", "/backup/more");
    closeMainWindow();
    EXPECT_EQ(setsIn(folder()), (QStringList{"Docs|/backup/docs|", "More|/backup/more|"}));
}

TEST_F(SessionEndTest, TwoWindowsAndACommandOnOneFolderLoseNothingOfEachOther)
{
    start();
    auto second = std::make_unique<MainWindow>(dialogs, folder().toStdString());
    auto* secondEditor = new SetEditorDialog(dialogs, second->catalog(), second.get());
    second->setEditor(secondEditor);
    second->setProgress(new stowmere::progress::ProgressWindow(second.get()));
    second->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(second.get()));

    // Each window numbers its new set 1; the command numbers its own 1 as well.
    addBackupSet("First window", "/backup/first");
    addSetIn(*second, *secondEditor, "Second window", "/backup/second");
    {
        stowmere::catalog::Catalog command(folder().toStdString());
        command.openForChange();
        command.addSet("Command", "/backup/command");
        ASSERT_EQ(command.save().status, stowmere::catalog::Catalog::SaveStatus::Saved);
    }
    QSignalSpy secondClosed(second.get(), &MainWindow::closed);
    second->close();
    ASSERT_TRUE(secondClosed.wait(5000));
    closeMainWindow();

    EXPECT_EQ(dialogs.unexpected(), 0) << dialogs.texts().join('\n').toStdString();
    EXPECT_EQ(setsIn(folder()), (QStringList{"Command|/backup/command|", "First window|/backup/first|",
                                             "Second window|/backup/second|"}));
    stowmere::catalog::Catalog reread(folder().toStdString());
    reread.open();
    std::set<std::int32_t> numbers;
    for (const auto& set : reread.sets())
        numbers.insert(set.number);
    EXPECT_EQ(numbers.size(), 3u) << "every set has a number of its own";
    second.reset();
}
