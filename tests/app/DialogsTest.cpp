// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/Dialogs.h"
#include "RecordingDialogs.h"
#include "app/FolderEdit.h"
#include "app/QtDialogs.h"

#include <QDir>
#include <QTemporaryDir>

#include <QApplication>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

using stowmere::app::Dialogs;
using stowmere::app::FolderEdit;
using stowmere::app::MessageKind;
using stowmere::app::testing::RecordingDialogs;

TEST(DefaultReport, AppendsAFullStopOnlyAfterCharactersThatSortAfterIt)
{
    EXPECT_EQ(Dialogs::defaultReportText("Disk full"), "Disk full.");
    EXPECT_EQ(Dialogs::defaultReportText("Done."), "Done.");
    // "!" and "-" sort before ".", "/" and "0" after it.
    EXPECT_EQ(Dialogs::defaultReportText("Failed!"), "Failed!");
    EXPECT_EQ(Dialogs::defaultReportText("a -"), "a -");
    EXPECT_EQ(Dialogs::defaultReportText("in /tmp/"), "in /tmp/.");
    EXPECT_EQ(Dialogs::defaultReportText("code 0"), "code 0.");
    EXPECT_EQ(Dialogs::defaultReportText(""), "");
}

TEST(DefaultReport, IsTitledWithTheApplicationTitle)
{
    RecordingDialogs dialogs;
    dialogs.reportException("Broken");
    ASSERT_EQ(dialogs.messages().size(), 1u);
    EXPECT_EQ(dialogs.messages()[0], (RecordingDialogs::Message{MessageKind::Application, "Broken."}));
    EXPECT_EQ(Dialogs::title(MessageKind::Application), "Orvane Stowmere");
    EXPECT_EQ(Dialogs::title(MessageKind::Confirmation), "Confirm");
    EXPECT_EQ(Dialogs::title(MessageKind::Information), "Information");
    EXPECT_EQ(Dialogs::title(MessageKind::Error), "Error");
}

TEST(FolderEditTest, BrowseStartsAtTheTypedFolderThenTheLastChoiceThenTheRoot)
{
    QTemporaryDir first;
    QTemporaryDir second;
    RecordingDialogs dialogs;
    FolderEdit edit(dialogs);

    edit.browse(); // empty field, nothing chosen yet: the root
    dialogs.setNextFolder(first.path() + "/");
    edit.browse();
    EXPECT_EQ(edit.text(), first.path()) << "the trailing separator is removed";

    edit.clear();
    dialogs.setNextFolder(std::nullopt);
    edit.browse(); // empty field: the folder chosen last
    EXPECT_EQ(edit.text(), "") << "a cancelled browse leaves the field alone";

    edit.setText(second.path());
    dialogs.setNextFolder("/");
    edit.browse(); // typed folder
    EXPECT_EQ(edit.text(), "/") << "the root keeps its separator";

    edit.setText(second.path() + "/missing");
    dialogs.setNextFolder(std::nullopt);
    edit.browse(); // typed folder that does not exist: the root

    const std::vector<QString> expected{"/", "/", first.path(), second.path(), "/"};
    EXPECT_EQ(dialogs.browseStarts(), expected);
    EXPECT_EQ(dialogs.unexpected(), 1) << "the first browse had no answer queued";
}

TEST(QuestionBox, ReturnAnswersYesOnlyWhereYesIsTheSafeAnswer)
{
    stowmere::app::QtDialogs dialogs;
    const auto answerWithReturn = [&dialogs](MessageKind kind) {
        QTimer::singleShot(0, [] {
            QWidget* box = nullptr;
            if (!QTest::qWaitFor([&box] { return (box = QApplication::activeModalWidget()) != nullptr; }))
                return;
            QTest::keyClick(box, Qt::Key_Return);
        });
        return dialogs.message(kind, "Back up anyway?");
    };
    EXPECT_TRUE(answerWithReturn(MessageKind::Confirmation));
    EXPECT_FALSE(answerWithReturn(MessageKind::ConfirmationDefaultNo));
    EXPECT_EQ(Dialogs::title(MessageKind::ConfirmationDefaultNo), "Confirm");
}
