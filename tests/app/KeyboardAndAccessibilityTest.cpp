// SPDX-License-Identifier: GPL-3.0-or-later
#include "AppFixture.h"

#include "app/Accessibility.h"
#include "app/AppTexts.h"
#include "app/CheckListBox.h"
#include "app/FolderEdit.h"
#include "app/ListBox.h"
#include "app/StoredTextEdit.h"
#include "controls/GradientButton.h"
#include "controls/GradientCheckBox.h"
#include "controls/GradientPanel.h"

#include <QAccessible>
#include <QDesktopServices>
#include <QMenu>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>
#include <QUrl>

using namespace stowmere;
using namespace stowmere::app;
using namespace stowmere::app::testing;

namespace {

class KeyboardAndAccessibility : public AppFixture {
protected:
    void startWithSets()
    {
        installAccessibility();
        start();
        addBackupSet("Docs", folder() + "/backups");
        addBackupSet("Photos", folder() + "/pictures");
        clickCategory(0);
        dialogs.setNextFiles({folder() + "/a.txt", folder() + "/b.txt"});
        click("addFilesButton");
        ASSERT_EQ(pathItems().size(), 2);
        activateMain();
    }

    /// Gives the main window the keyboard, as the window manager does when a dialog closes
    /// (the offscreen platform leaves that to the program).
    void activateMain() { activate(*main); }

    static void activate(QWidget& window)
    {
        QApplication::setActiveWindow(&window);
        ASSERT_TRUE(QTest::qWaitFor([&window] { return QApplication::activeWindow() == &window; }));
    }

    static QAccessibleInterface* accessible(QObject* object)
    {
        return QAccessible::queryAccessibleInterface(object);
    }

    /// Presses key on whatever has the focus now.
    static void press(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        QWidget* focused = QApplication::focusWidget();
        ASSERT_NE(focused, nullptr) << "nothing has the keyboard";
        QTest::keyClick(focused, key, modifiers);
    }

    QMenu* menu(const char* name) const { return main->findChild<QMenu*>(QString::fromLatin1(name)); }
};

TEST_F(KeyboardAndAccessibility, EverySelfDrawnControlOfTheWindowHasARoleAndAName)
{
    startWithSets();
    QStringList unnamed;
    for (QWidget* control : main->findChildren<QWidget*>()) {
        if (!control->isVisible() || control->window() != main.get())
            continue;
        const bool ownControl = qobject_cast<controls::GradientButton*>(control) != nullptr ||
                                qobject_cast<controls::GradientCheckBox*>(control) != nullptr ||
                                qobject_cast<ListBox*>(control) != nullptr ||
                                qobject_cast<QToolButton*>(control) != nullptr;
        if (!ownControl)
            continue;
        QAccessibleInterface* face = accessible(control);
        if (face == nullptr || face->role() == QAccessible::Client || face->text(QAccessible::Name).isEmpty())
            unnamed << control->objectName();
    }
    EXPECT_TRUE(unnamed.isEmpty()) << unnamed.join(", ").toStdString();

    for (auto* panel : main->findChildren<controls::GradientPanel*>()) {
        EXPECT_EQ(accessible(panel)->role(), QAccessible::Grouping) << panel->objectName().toStdString();
        EXPECT_EQ(panel->focusPolicy(), Qt::NoFocus) << panel->objectName().toStdString() << " is a Tab stop";
    }
    EXPECT_EQ(accessible(widget("backupButton"))->role(), QAccessible::Button);
    EXPECT_EQ(accessible(widget("backupButton"))->text(QAccessible::Name), "Backup");
    EXPECT_EQ(accessible(widget("incrementalBox"))->role(), QAccessible::CheckBox);
    EXPECT_EQ(accessible(widget("incrementalBox"))->text(QAccessible::Name), "Incremental Backup");
    EXPECT_EQ(accessible(widget("helpButton"))->text(QAccessible::Name), "Short Help Tutorial...");
}

TEST_F(KeyboardAndAccessibility, SetListIsANamedListWhoseHighlightedItemIsSelected)
{
    startWithSets();
    QAccessibleInterface* list = accessible(setList());
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(list->role(), QAccessible::List);
    EXPECT_EQ(list->text(QAccessible::Name), "Backup Name");
    QStringList names;
    int selected = -1;
    for (int i = 0; i < list->childCount(); ++i) {
        QAccessibleInterface* item = list->child(i);
        if (item->role() != QAccessible::ListItem)
            continue;
        names << item->text(QAccessible::Name);
        if (item->state().selected)
            selected = names.size() - 1;
    }
    EXPECT_EQ(names, (QStringList{"Docs", "Photos"}));
    EXPECT_EQ(selected, 0);
}

TEST_F(KeyboardAndAccessibility, CheckListItemsAreCheckableItemsThatToggle)
{
    startWithSets();
    QAccessibleInterface* list = accessible(pathList());
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(list->role(), QAccessible::List);
    EXPECT_EQ(list->text(QAccessible::Name), "Files and Folders");
    ASSERT_EQ(list->childCount(), 2);
    QAccessibleInterface* second = list->child(1);
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(second->role(), QAccessible::ListItem);
    EXPECT_EQ(second->text(QAccessible::Name), pathItems().at(1));
    EXPECT_EQ(list->indexOfChild(second), 1);
    EXPECT_EQ(second->parent(), list);
    EXPECT_TRUE(second->state().checkable);
    EXPECT_FALSE(second->state().checked);

    QSignalSpy toggled(pathList(), &CheckListBox::checkToggled);
    ASSERT_NE(second->actionInterface(), nullptr);
    second->actionInterface()->doAction(QAccessibleActionInterface::toggleAction());
    EXPECT_TRUE(pathList()->checked(1));
    EXPECT_TRUE(second->state().checked);
    EXPECT_EQ(toggled.count(), 1);
    pathList()->setChecked(1, false);
    EXPECT_FALSE(second->state().checked) << "the state follows a check made by the program";

    // Another set's paths replace the rows: the old items' interfaces go with them (a
    // screen reader is told), and a refill is named anew.
    const QAccessible::Id secondId = QAccessible::uniqueId(second);
    clickCategory(1);
    EXPECT_EQ(list->childCount(), 0);
    EXPECT_EQ(QAccessible::accessibleInterface(secondId), nullptr);
    clickCategory(0);
    ASSERT_EQ(list->childCount(), 2);
    EXPECT_EQ(list->child(1)->text(QAccessible::Name), pathItems().at(1));
    EXPECT_FALSE(list->child(1)->state().checked) << "a refill leaves every item unchecked";
}

TEST_F(KeyboardAndAccessibility, TabVisitsTheListsCommandsAndBarInReadingOrderAndNoPanel)
{
    startWithSets();
    setList()->setFocus();
    QStringList visited{QApplication::focusWidget()->objectName()};
    for (int i = 0; i < 20; ++i) {
        press(Qt::Key_Tab);
        const QString name = QApplication::focusWidget()->objectName();
        if (name == visited.front())
            break;
        visited << name;
    }
    EXPECT_EQ(visited,
              (QStringList{"setList", "pathList", "addFolderButton", "addFilesButton", "deletePathsButton",
                           "backupButton", "addSetButton", "deleteSetButton", "toolsButton", "selectAllBox",
                           "incrementalBox", "helpButton", "exitButton", "webLink"}));
}

// Takes what the window would open in a browser, so that no browser starts.
class UrlCatcher : public QObject {
    Q_OBJECT

public:
    QList<QUrl> opened;

public slots:
    void open(const QUrl& url) { opened << url; }
};

// The address is a Tab stop of the title, created before the lists: the keyboard must
// still start at the set list, with the address the stop before it.
TEST_F(KeyboardAndAccessibility, TheKeyboardStartsAtTheSetListNotAtTheWebAddress)
{
    start();
    activateMain();
    ASSERT_EQ(QApplication::focusWidget(), setList());
    press(Qt::Key_Tab, Qt::ShiftModifier);
    EXPECT_EQ(QApplication::focusWidget(), widget("webLink"));
}

TEST_F(KeyboardAndAccessibility, TheWebAddressOpensWithReturnOrSpaceAndShowsItsFocus)
{
    UrlCatcher catcher;
    QDesktopServices::setUrlHandler(QStringLiteral("https"), &catcher, "open");
    startWithSets();
    QWidget* link = widget("webLink");
    widget("exitButton")->setFocus();
    press(Qt::Key_Tab);
    ASSERT_EQ(QApplication::focusWidget(), link);
    const QImage unfocused = [&] {
        link->clearFocus();
        return link->grab().toImage();
    }();
    link->setFocus();
    EXPECT_NE(link->grab().toImage(), unfocused) << "the focus is not seen";
    press(Qt::Key_Return);
    press(Qt::Key_Space);
    press(Qt::Key_A); // any other key opens nothing
    QDesktopServices::unsetUrlHandler(QStringLiteral("https"));
    EXPECT_EQ(catcher.opened, (QList<QUrl>{QUrl(texts::webAddress()), QUrl(texts::webAddress())}));
}

TEST_F(KeyboardAndAccessibility, SpaceChecksItemsAndBoxesWithoutAMouse)
{
    startWithSets();
    pathList()->setFocus();
    press(Qt::Key_Down);
    press(Qt::Key_Space);
    EXPECT_TRUE(pathList()->checked(pathList()->currentRow()));

    checkBox("incrementalBox")->setFocus();
    press(Qt::Key_Space);
    EXPECT_TRUE(checkBox("incrementalBox")->isChecked());

    checkBox("selectAllBox")->setFocus();
    press(Qt::Key_Space);
    EXPECT_TRUE(checkBox("selectAllBox")->isChecked());
    EXPECT_EQ(pathList()->checkedCount(), 2) << "Select All by keyboard checks every item as a click does";
}

TEST_F(KeyboardAndAccessibility, MenuKeyAndShiftF10OpenTheFocusedListsMenu)
{
    startWithSets();
    setList()->setFocus();
    press(Qt::Key_Down);
    EXPECT_EQ(setList()->itemIndex(), 1);
    press(Qt::Key_Menu);
    ASSERT_TRUE(QTest::qWaitFor([this] { return menu("setMenu")->isVisible(); }));
    EXPECT_EQ(main->currentSet()->description, "Photos") << "the menu acts on the highlighted set";
    QTest::keyClick(menu("setMenu"), Qt::Key_Escape);
    ASSERT_TRUE(QTest::qWaitFor([this] { return !menu("setMenu")->isVisible(); }));

    clickCategory(0);
    pathList()->setFocus();
    press(Qt::Key_F10, Qt::ShiftModifier);
    ASSERT_TRUE(QTest::qWaitFor([this] { return menu("pathMenu")->isVisible(); }));
    EXPECT_FALSE(menu("setMenu")->isVisible());
    QTest::keyClick(menu("pathMenu"), Qt::Key_Escape);
    ASSERT_TRUE(QTest::qWaitFor([this] { return !menu("pathMenu")->isVisible(); }));

    press(Qt::Key_F10);
    EXPECT_FALSE(menu("pathMenu")->isVisible()) << "F10 alone asks for no menu";
}

TEST_F(KeyboardAndAccessibility, EditorSavesOnReturnAndCancelsOnEscape)
{
    startWithSets();
    whenEditorShows([this](SetEditorDialog& shown) {
        activate(shown);
        auto* description = child<StoredTextEdit>(shown, "descriptionEdit");
        EXPECT_TRUE(description->hasFocus());
        QTest::keyClicks(description, "Music");
        press(Qt::Key_Tab);
        QTest::keyClicks(QApplication::focusWidget(), folder() + "/music");
        press(Qt::Key_Return);
    });
    widget("addSetButton")->setFocus();
    press(Qt::Key_Space);
    EXPECT_EQ(categoryItems(), (QStringList{"Docs", "Music", "Photos"}));
    activateMain();

    whenEditorShows([](SetEditorDialog& shown) {
        activate(shown);
        auto* description = child<StoredTextEdit>(shown, "descriptionEdit");
        description->selectAll();
        QTest::keyClicks(description, "Songs");
        press(Qt::Key_Escape);
        EXPECT_EQ(description->text(), "Music") << "the first Escape takes the typing back";
        EXPECT_TRUE(shown.isVisible());
        press(Qt::Key_Escape);
        EXPECT_FALSE(shown.isVisible()) << "the second cancels";
    });
    setList()->setFocus();
    press(Qt::Key_Home);
    press(Qt::Key_Down);
    press(Qt::Key_Return); // Return on a set edits it, as a double click does
    EXPECT_EQ(categoryItems(), (QStringList{"Docs", "Music", "Photos"}));
    EXPECT_TRUE(dialogs.messages().empty());
}

} // namespace

#include "KeyboardAndAccessibilityTest.moc"
