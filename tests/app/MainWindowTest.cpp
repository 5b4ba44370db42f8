// SPDX-License-Identifier: GPL-3.0-or-later
#include "catalog/Catalog.h"
#include "catalog/Schema.h"
#include "store/Table.h"
#include "store/TableFiles.h"

#include "AppFixture.h"

#include "app/CheckListBox.h"
#include "app/FolderEdit.h"
#include "app/StoredTextEdit.h"
#include "controls/GradientButton.h"
#include "controls/GradientCheckBox.h"
#include "controls/GradientPanel.h"
#include "support/ScopedEnv.h"

#include <QApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QKeyEvent>
#include <QLabel>
#include <QTest>
#include <QToolButton>

using stowmere::controls::GradientButton;

using namespace stowmere::app;
using namespace stowmere::app::testing;
using stowmere::store::Table;

namespace {

using MainWindowTest = AppFixture;

// The rows of a table file as "field|field|field" lines in the list's order (sets) or in
// file order (paths).
QStringList rowsOf(const QString& folder, bool categories)
{
    namespace schema = stowmere::catalog::schema;
    Table table;
    table.setFieldDefs(categories ? schema::categoryFieldDefs() : schema::pathFieldDefs());
    if (categories)
        table.setIndexFieldNames(schema::kCategoryOrder);
    stowmere::store::loadTableFile(
        table,
        (folder + "/" + QString::fromUtf8(categories ? schema::kCategoryFileName : schema::kPathFileName))
            .toStdString());
    QStringList rows;
    for (std::size_t record = 0; record < table.recordCount(); ++record) {
        QStringList fields;
        for (std::size_t i = 0; i < table.fieldCount(); ++i)
            fields << QString::fromStdString(table.recordAsString(record, i));
        rows << fields.join('|');
    }
    return rows;
}

// Adds a backup set to the folder's files the way stowmere-cli does while the window is
// open, and returns the file's new bytes.
QByteArray addSetElsewhere(const QString& folder, const std::string& description)
{
    stowmere::catalog::Catalog other(folder.toStdString());
    other.openForChange();
    other.addSet(description, "/backup/elsewhere");
    EXPECT_EQ(other.save().status, stowmere::catalog::Catalog::SaveStatus::Saved);
    return fileBytes(folder + "/Category.cds");
}

} // namespace

TEST_F(MainWindowTest, EmptyStoreHighlightsNothingAndTheSetCommandsDoNothing)
{
    start();
    EXPECT_EQ(setList()->count(), 0);
    EXPECT_EQ(setList()->itemIndex(), -1);
    click("addFolderButton");
    click("addFilesButton");
    click("deleteSetButton");
    click("deletePathsButton");
    EXPECT_TRUE(dialogs.messages().empty());
    EXPECT_EQ(dialogs.unexpected(), 0) << "no dialog was opened";

    QTest::mouseDClick(setList()->viewport(), Qt::LeftButton, {}, QPoint(40, 40));
    EXPECT_EQ(dialogs.texts(), QStringList{"Please select Backup to Edit."});
    EXPECT_EQ(dialogs.messages().back().kind, MessageKind::Information);

    closeMainWindow();
    EXPECT_FALSE(QFile::exists(folder() + "/Category.cds")) << "nothing changed, nothing written";
    EXPECT_FALSE(QFile::exists(folder() + "/Path.cds"));
}

TEST_F(MainWindowTest, NewSetsAreListedInDescriptionOrderAndTheNewOneIsHighlighted)
{
    start();
    addBackupSet("Photos", "/backup/photos");
    addBackupSet("Docs", "/backup/docs");
    addBackupSet("Music", "/backup/music");
    EXPECT_EQ(categoryItems(), (QStringList{"Docs", "Music", "Photos"}));
    EXPECT_EQ(setList()->itemIndex(), 1) << "the set just made is highlighted";
    EXPECT_EQ(main->currentSet()->description, "Music") << "and it is the current row";
    EXPECT_EQ(main->editor()->windowTitle(), "New Backup");
    EXPECT_TRUE(dialogs.messages().empty());

    closeMainWindow();
    EXPECT_EQ(rowsOf(folder(), true),
              (QStringList{"2|Docs|/backup/docs", "3|Music|/backup/music", "1|Photos|/backup/photos"}));
}

TEST_F(MainWindowTest, SaveChecksTheDescriptionFirstThenTheFolder)
{
    start();
    whenEditorShows([this](SetEditorDialog& shown) {
        QTest::mouseClick(child<GradientButton>(shown, "saveButton"), Qt::LeftButton);
        EXPECT_EQ(dialogs.texts(), QStringList{"Please insert Category Description."});
        EXPECT_TRUE(shown.isVisible());
        EXPECT_EQ(shown.focusWidget(), child<StoredTextEdit>(shown, "descriptionEdit"));
        child<StoredTextEdit>(shown, "descriptionEdit")->setFocus();
        QTest::keyClicks(child<StoredTextEdit>(shown, "descriptionEdit"), "Docs");
        QTest::mouseClick(child<GradientButton>(shown, "saveButton"), Qt::LeftButton);
        EXPECT_EQ(dialogs.texts(),
                  (QStringList{"Please insert Category Description.", "Please select Backup To Directory."}));
        EXPECT_EQ(shown.focusWidget(), child<FolderEdit>(shown, "folderEdit"));
        cancelEditor(shown);
    });
    click("addSetButton");
    EXPECT_EQ(setList()->count(), 0) << "the cancelled set was not made";
}

TEST_F(MainWindowTest, ADescriptionOrFolderOfSpacesAloneIsRefusedAsAnEmptyOne)
{
    start();
    whenEditorShows([this](SetEditorDialog& shown) {
        fillAndSave(shown, "   ", "/backup/docs");
        EXPECT_EQ(dialogs.texts(), QStringList{"Please insert Category Description."});
        EXPECT_EQ(shown.focusWidget(), child<StoredTextEdit>(shown, "descriptionEdit"));
        fillAndSave(shown, "Docs", "  ");
        EXPECT_EQ(dialogs.texts(),
                  (QStringList{"Please insert Category Description.", "Please select Backup To Directory."}));
        EXPECT_TRUE(shown.isVisible());
        cancelEditor(shown);
    });
    click("addSetButton");
    EXPECT_EQ(setList()->count(), 0);
}

TEST_F(MainWindowTest, DescriptionTakesAtMostFiftyBytes)
{
    start();
    whenEditorShows([](SetEditorDialog& shown) {
        child<StoredTextEdit>(shown, "descriptionEdit")->setFocus();
        QTest::keyClicks(child<StoredTextEdit>(shown, "descriptionEdit"), QString(49, 'x'));
        // QTest types ASCII only; a two-byte character comes as a key event of its own.
        QKeyEvent accent(QEvent::KeyPress, 0, Qt::NoModifier, QStringLiteral("\u00e9"));
        QApplication::sendEvent(child<StoredTextEdit>(shown, "descriptionEdit"),
                                &accent); // two bytes: 51 in all
        EXPECT_EQ(child<StoredTextEdit>(shown, "descriptionEdit")->text(), QString(49, 'x'));
        QTest::keyClicks(child<StoredTextEdit>(shown, "descriptionEdit"), "yz");
        EXPECT_EQ(child<StoredTextEdit>(shown, "descriptionEdit")->text(), QString(49, 'x') + "y");
        fillAndSave(shown, QString(), "/backup");
    });
    click("addSetButton");
    EXPECT_EQ(categoryItems(), QStringList{QString(49, 'x') + "y"});
}

TEST_F(MainWindowTest, EditingChangesTheSetAndCancelRestoresDescriptionAndFolder)
{
    start();
    addBackupSet("Docs", "/backup/docs");
    addBackupSet("Photos", "/backup/photos");
    clickCategory(1);

    whenEditorShows([](SetEditorDialog& shown) {
        EXPECT_EQ(shown.windowTitle(), "Edit Backup");
        EXPECT_EQ(child<StoredTextEdit>(shown, "descriptionEdit")->text(), "Photos");
        EXPECT_EQ(child<FolderEdit>(shown, "folderEdit")->text(), "/backup/photos");
        child<StoredTextEdit>(shown, "descriptionEdit")->selectAll();
        QTest::keyClicks(child<StoredTextEdit>(shown, "descriptionEdit"), "Pics");
        QTest::keyClick(child<StoredTextEdit>(shown, "descriptionEdit"), Qt::Key_Escape);
        EXPECT_EQ(child<StoredTextEdit>(shown, "descriptionEdit")->text(), "Photos")
            << "Escape puts the stored value back";
        EXPECT_EQ(child<StoredTextEdit>(shown, "descriptionEdit")->selectedText(), "Photos");
        EXPECT_TRUE(shown.isVisible()) << "and does not close the dialog";
        QTest::keyClicks(child<StoredTextEdit>(shown, "descriptionEdit"), "Pictures");
        child<FolderEdit>(shown, "folderEdit")->setFocus(); // leaving the field writes it into the row
        child<FolderEdit>(shown, "folderEdit")->setText("/elsewhere");
        QTest::mouseClick(child<GradientButton>(shown, "cancelButton"), Qt::LeftButton);
    });
    QTest::mouseDClick(setList()->viewport(), Qt::LeftButton, {},
                       setList()->visualItemRect(setList()->item(1)).center());
    EXPECT_EQ(categoryItems(), (QStringList{"Docs", "Photos"}));
    EXPECT_EQ(setList()->itemIndex(), 1) << "the edited set stays highlighted";
    EXPECT_EQ(main->currentSet()->destination, "/backup/photos");

    whenEditorShows([](SetEditorDialog& shown) { fillAndSave(shown, "Archive", "/backup/archive"); });
    doubleClickCategory(setList()->itemIndex());
    EXPECT_EQ(categoryItems(), (QStringList{"Archive", "Docs"}));
    EXPECT_EQ(setList()->itemIndex(), 0);
    EXPECT_EQ(main->currentSet()->number, 2) << "the set keeps its number";
    EXPECT_TRUE(dialogs.messages().empty());
}

TEST_F(MainWindowTest, TheTitleBarCloseKeepsATypedDescriptionAndNothingUntyped)
{
    start();
    addBackupSet("Docs", "/backup/docs");
    whenEditorShows([](SetEditorDialog& shown) { shown.close(); });
    click("addSetButton");
    EXPECT_EQ(categoryItems(), QStringList{"Docs"}) << "an untouched new set is dropped";

    whenEditorShows([](SetEditorDialog& shown) {
        QTest::keyClicks(child<StoredTextEdit>(shown, "descriptionEdit"), "Typed");
        child<FolderEdit>(shown, "folderEdit")->setText("/not/kept");
        shown.close();
    });
    click("addSetButton");
    EXPECT_EQ(categoryItems(), (QStringList{"Docs", "Typed"}));
    EXPECT_EQ(main->currentSet()->description, "Typed") << "the kept set is highlighted";
    EXPECT_EQ(main->currentSet()->destination, "") << "only the description is kept";

    whenEditorShows([](SetEditorDialog& shown) {
        child<StoredTextEdit>(shown, "descriptionEdit")->selectAll();
        QTest::keyClicks(child<StoredTextEdit>(shown, "descriptionEdit"), "Papers");
        shown.close();
    });
    doubleClickCategory(0);
    EXPECT_EQ(categoryItems(), (QStringList{"Papers", "Typed"}));
    EXPECT_EQ(main->currentSet()->destination, "/backup/docs");
    EXPECT_TRUE(dialogs.messages().empty());
}

TEST_F(MainWindowTest, PathsAreAddedFromTheDialogsAndDeletedWhenCheckedAndConfirmed)
{
    start();
    addBackupSet("Docs", "/backup/docs");
    dialogs.setNextFolder(folder());
    click("addFolderButton");
    dialogs.setNextFiles({"/etc/hosts", "/etc/fstab"});
    click("addFilesButton");
    EXPECT_EQ(pathItems(), (QStringList{"/etc/fstab", "/etc/hosts", folder()}));

    // "Select All" checks and unchecks every item.
    QTest::mouseClick(checkBox("selectAllBox"), Qt::LeftButton);
    EXPECT_EQ(pathList()->checkedCount(), 3);
    QTest::mouseClick(checkBox("selectAllBox"), Qt::LeftButton);
    EXPECT_EQ(pathList()->checkedCount(), 0);

    click("deletePathsButton");
    EXPECT_EQ(dialogs.texts().back(), "Please select files and folders to Delete.");

    pathList()->setChecked(0, true);
    pathList()->setChecked(2, true);
    dialogs.setNextAnswer(false);
    click("deletePathsButton");
    EXPECT_EQ(dialogs.messages().back(),
              (RecordingDialogs::Message{MessageKind::Confirmation, "Delete selected files and folders?"}));
    EXPECT_EQ(pathItems().size(), 3) << "No deletes nothing";

    dialogs.setNextAnswer(true);
    click("deletePathsButton");
    EXPECT_EQ(pathItems(), QStringList{"/etc/hosts"});
    EXPECT_FALSE(checkBox("selectAllBox")->isChecked());
    EXPECT_EQ(dialogs.unexpected(), 0);
}

TEST_F(MainWindowTest, ASetWithPathsIsNotDeleted)
{
    start();
    addBackupSet("Docs", "/backup/docs");
    addBackupSet("Music", "/backup/music");
    dialogs.setNextFiles({"/etc/hosts"});
    click("addFilesButton");
    dialogs.clear();

    click("deleteSetButton");
    EXPECT_EQ(dialogs.texts(), QStringList{"Delete file and folder list before deleting Backup."});
    EXPECT_EQ(categoryItems(), (QStringList{"Docs", "Music"}));

    clickCategory(0);
    dialogs.setNextAnswer(true);
    click("deleteSetButton");
    EXPECT_EQ(dialogs.texts().back(), "Delete selected Backup?");
    EXPECT_EQ(categoryItems(), QStringList{"Music"});
    EXPECT_EQ(setList()->itemIndex(), 0);
    EXPECT_EQ(pathItems(), QStringList{"/etc/hosts"}) << "the remaining set is current with its paths";
}

TEST_F(MainWindowTest, EqualDescriptionsEachNameTheirOwnSet)
{
    // Locating by description would always find the first of two equal ones, and a
    // command would act on a set that is not the highlighted one.
    start();
    addBackupSet("Docs", "/backup/one");
    addBackupSet("Docs", "/backup/two");
    clickCategory(1);
    EXPECT_EQ(main->currentSet()->destination, "/backup/two");
    dialogs.setNextFiles({"/etc/hosts"});
    click("addFilesButton");
    clickCategory(0);
    EXPECT_TRUE(pathItems().isEmpty());
    clickCategory(1);
    EXPECT_EQ(pathItems(), QStringList{"/etc/hosts"});
}

TEST_F(MainWindowTest, ThePlacementIsKeptInTheSectionEarlierVersionsWrote)
{
    const QString config = folder() + "/config";
    ASSERT_TRUE(QDir().mkpath(config));
    stowmere::testing::ScopedEnv configHome{"XDG_CONFIG_HOME", config.toUtf8().constData()};
    start();
    closeMainWindow();
    QDirIterator inis(config, {"*.INI"}, QDir::Files);
    ASSERT_TRUE(inis.hasNext()) << "no INI file was written";
    const QByteArray text = fileBytes(inis.next());
    EXPECT_TRUE(text.startsWith("[TfrmMain]")) << text.toStdString();
}

TEST_F(MainWindowTest, ResizeKeepsExitAndTheWebLabelAtTheRightEdge)
{
    start();
    // The outer width counts the frame the platform adds around the window.
    const int frame = main->frameGeometry().width() - main->width();
    main->resize(1100 - frame, 600);
    EXPECT_EQ(main->frameGeometry().width(), 1100);
    EXPECT_EQ(widget<QWidget>("exitButton")->x(), 1000);
    EXPECT_EQ(widget("webLink")->x(), 925);
}

TEST_F(MainWindowTest, TheSmallestWindowStillShowsEveryControlApart)
{
    start();
    main->resize(300, 200);
    QApplication::processEvents();
    const QRect exit = widget<QWidget>("exitButton")->geometry();
    for (QWidget* other :
         {widget("selectAllBox"), widget("incrementalBox"), widget("helpButton"), widget("deleteSetButton")})
        EXPECT_FALSE(exit.intersects(other->geometry())) << other->objectName().toStdString();
    EXPECT_LE(exit.right(), widget("buttonBar")->width() - 1);
    EXPECT_FALSE(widget("webLink")->geometry().intersects(widget("backupNameLabel")->geometry()));
    EXPECT_LE(widget<GradientButton>("backupButton")->geometry().bottom(),
              widget("commandPanel")->height() - 1);
}

// The program's own settings of its controls, read from the rendered main window.
TEST_F(MainWindowTest, TheRenderedWindowShowsTheControlsLook)
{
    start();
    QApplication::processEvents();

    // The check box's background is the bar's green and its box is plain white.
    const QImage box = checkBox("selectAllBox")->grab().toImage();
    EXPECT_EQ(box.pixel(0, 0), qRgb(0, 176, 0));
    EXPECT_EQ(box.pixel(box.width() - 1, box.height() - 1), qRgb(0, 176, 0));
    EXPECT_EQ(box.pixel(5, 5), qRgb(255, 255, 255));
    EXPECT_EQ(box.pixel(12, 12), qRgb(255, 255, 255));

    // A black caption has no white halo: on every row no pixel is lighter than the face
    // around the caption.
    const QImage add = widget<GradientButton>("addSetButton")->grab().toImage();
    QString lighter;
    for (int y = 4; y < add.height() - 4 && lighter.isEmpty(); ++y) {
        const QRgb face = add.pixel(5, y);
        const int faceLight = qRed(face) + qGreen(face) + qBlue(face);
        for (int x = 5; x < add.width() - 5 && lighter.isEmpty(); ++x) {
            const QRgb pixel = add.pixel(x, y);
            if (qRed(pixel) + qGreen(pixel) + qBlue(pixel) > faceLight + 6)
                lighter = QStringLiteral("%1,%2").arg(x).arg(y);
        }
    }
    EXPECT_TRUE(lighter.isEmpty()) << "a pixel lighter than the face at " << lighter.toStdString();

    // A pressed button shows the clicked gradient up to its rounded border, with no band of
    // the near-white default face left around it.
    GradientButton* pressed = widget<GradientButton>("deleteSetButton");
    QTest::mousePress(pressed, Qt::LeftButton, {}, pressed->rect().center());
    ASSERT_TRUE(QTest::qWaitFor([&] { return pressed->pressLevel() >= 100 && !pressed->isFading(); }));
    // The press gave the button the focus, whose dotted frame runs along that edge; the
    // face is measured without it.
    pressed->clearFocus();
    const QImage down = pressed->grab().toImage();
    const QRgb edge = down.pixel(down.width() / 2, 2);
    EXPECT_LT(qRed(edge), 230) << "pixel " << qRed(edge) << "," << qGreen(edge) << "," << qBlue(edge);
    EXPECT_EQ(down.pixel(down.width() / 2, 2), down.pixel(down.width() / 2 + 1, 2));
}

TEST_F(MainWindowTest, HelpShowsTheTutorial)
{
    start();
    click("helpButton");
    ASSERT_EQ(dialogs.messages().size(), 1u);
    EXPECT_EQ(dialogs.messages()[0].kind, MessageKind::Information);
    EXPECT_TRUE(dialogs.texts()[0].startsWith("This is a short help tutorial.\r\n\r\n- To backup"));
    EXPECT_TRUE(dialogs.texts()[0].contains("selected in Backup Information.\r\n\r\n- The Tools button"));
    EXPECT_TRUE(dialogs.texts()[0].endsWith("Backup Options and Restore\r\n   for the highlighted Backup."));
}

TEST_F(MainWindowTest, TheHighlightedSetPaintsTheGradientBand)
{
    start();
    addBackupSet("Docs", "/backup/docs");
    const QImage shot = setList()->viewport()->grab().toImage();
    const QRect item = setList()->visualItemRect(setList()->item(0));
    EXPECT_EQ(shot.pixel(item.center().x(), item.top() + 5), qRgb(255, 245, 221));
    EXPECT_EQ(shot.pixel(item.center().x(), item.top() + 15), qRgb(255, 227, 157));
    EXPECT_EQ(shot.pixel(item.center().x(), item.top()), qRgb(197, 197, 197));
}

TEST_F(MainWindowTest, TablesSurviveARestart)
{
    start();
    addBackupSet("Docs", "/backup/docs");
    dialogs.setNextFiles({"/etc/hosts"});
    click("addFilesButton");
    closeMainWindow();
    destroyWindows();

    start();
    EXPECT_EQ(categoryItems(), QStringList{"Docs"});
    EXPECT_EQ(pathItems(), QStringList{"/etc/hosts"}) << "the first set is current at start";
    EXPECT_EQ(rowsOf(folder(), false), QStringList{"1|1|/etc/hosts"});
}

TEST_F(MainWindowTest, AFileThatCannotBeWrittenAtExitIsOfferedAgainAndNoKeepsTheOldFile)
{
    const QString data = folder() + "/data";
    ASSERT_TRUE(QDir().mkpath(data));
    start(data);
    addBackupSet("Docs", "/backup/docs");
    closeMainWindow();
    destroyWindows();
    const QByteArray before = fileBytes(data + "/Category.cds");
    ASSERT_FALSE(before.isEmpty());

    start(data);
    addBackupSet("Music", "/backup/music");
    // The data folder goes away and a regular file takes its name: no write can succeed.
    ASSERT_TRUE(QDir().rename(data, folder() + "/moved"));
    QFile blocker(data);
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    dialogs.setNextAnswer(true);  // try again: fails again
    dialogs.setNextAnswer(false); // give up
    closeMainWindow();

    const QStringList texts = dialogs.texts();
    ASSERT_EQ(texts.size(), 2);
    EXPECT_TRUE(texts[0].startsWith("Could not save " + data + "/Category.cds:\r\n"))
        << texts[0].toStdString();
    EXPECT_TRUE(texts[0].endsWith("\r\n\r\nTry again?"));
    EXPECT_EQ(dialogs.messages()[0].kind, MessageKind::Confirmation);
    EXPECT_EQ(fileBytes(folder() + "/moved/Category.cds"), before) << "the old file is intact";
}

TEST_F(MainWindowTest, SetsAnotherProgramAddedMeanwhileAreKeptBesideTheWindowsWithoutAQuestion)
{
    start();
    addBackupSet("Docs", "/backup/docs");
    closeMainWindow();
    destroyWindows();

    start();
    addBackupSet("Mine", "/backup/mine");
    clickCategory(0);
    dialogs.setNextFiles({"/etc/hosts"});
    click("addFilesButton");
    addSetElsewhere(folder(), "Theirs");
    addSetElsewhere(folder(), "More of theirs");
    closeMainWindow();

    EXPECT_TRUE(dialogs.messages().empty()) << dialogs.texts().join('\n').toStdString();
    EXPECT_EQ(rowsOf(folder(), true),
              (QStringList{"1|Docs|/backup/docs", "4|Mine|/backup/mine", "3|More of theirs|/backup/elsewhere",
                           "2|Theirs|/backup/elsewhere"}))
        << "the window's new set, numbered 2 here, goes past the file's highest number";
    EXPECT_EQ(rowsOf(folder(), false), QStringList{"1|1|/etc/hosts"});
}

TEST_F(MainWindowTest, ADamagedTableFileIsReportedAndNeverOverwritten)
{
    const QByteArray damaged("this is not a table file at all");
    QFile file(folder() + "/Category.cds");
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(damaged);
    file.close();

    start();
    ASSERT_EQ(dialogs.messages().size(), 1u);
    EXPECT_EQ(dialogs.messages()[0].kind, MessageKind::Error);
    EXPECT_TRUE(dialogs.texts()[0].contains("Category.cds")) << dialogs.texts()[0].toStdString();
    dialogs.clear();

    click("addSetButton"); // refused before the editor opens: the table is closed
    EXPECT_EQ(dialogs.messages().size(), 1u);
    EXPECT_FALSE(main->editor()->isVisible());
    EXPECT_EQ(setList()->count(), 0);
    closeMainWindow();
    EXPECT_EQ(fileBytes(folder() + "/Category.cds"), damaged);
    EXPECT_FALSE(QFile::exists(folder() + "/Path.cds"));
}

TEST_F(MainWindowTest, AMissingDataFolderIsCreatedWhenTheFirstChangeIsSaved)
{
    const QString data = folder() + "/share/stowmere";
    start(data);
    EXPECT_FALSE(QFile::exists(data)) << "nothing is made before there is something to save";
    addBackupSet("Docs", "/backup/docs");
    closeMainWindow();
    EXPECT_TRUE(dialogs.messages().empty());
    EXPECT_EQ(rowsOf(data, true), QStringList{"1|Docs|/backup/docs"});
}
