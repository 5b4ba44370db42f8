// SPDX-License-Identifier: GPL-3.0-or-later
#include "AppFixture.h"

#include "app/CheckListBox.h"
#include "app/FolderEdit.h"
#include "app/ListBox.h"
#include "app/StoredTextEdit.h"
#include "catalog/Catalog.h"
#include "catalog/RunHistory.h"
#include "controls/GradientButton.h"
#include "controls/GradientCheckBox.h"
#include "progress/ProgressWindow.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QContextMenuEvent>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMenu>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <chrono>
#include <filesystem>

namespace stowmere::app::testing {

AppFixture::AppFixture() : m_stateHome("XDG_STATE_HOME", m_stateFolder.path().toUtf8().constData()) {}

AppFixture::~AppFixture()
{
    destroyWindows();
}

void AppFixture::start(const QString& dataFolder)
{
    m_dataFolder = dataFolder.isEmpty() ? m_folder.path() : dataFolder;
    main = std::make_unique<MainWindow>(dialogs, m_dataFolder.toStdString());
    editor = new SetEditorDialog(dialogs, main->catalog(), main.get());
    progress = new progress::ProgressWindow(main.get());
    main->setEditor(editor);
    main->setProgress(progress);
    main->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(main.get()));
}

void AppFixture::closeMainWindow()
{
    QSignalSpy closed(main.get(), &MainWindow::closed);
    main->close();
    ASSERT_TRUE(closed.wait(5000));
}

void AppFixture::destroyWindows()
{
    main.reset();
    editor = nullptr;
    progress = nullptr;
}

void AppFixture::whenEditorShows(std::function<void(SetEditorDialog&)> action)
{
    QTimer::singleShot(0, editor, [this, action] {
        if (!QTest::qWaitFor([this] { return editor->isVisible(); }))
            ADD_FAILURE() << "the editor did not show";
        action(*editor);
        if (editor->isVisible())
            QTimer::singleShot(0, editor, [this] { cancelEditor(*editor); });
    });
}

void click(QWidget* widget)
{
    QTest::mouseClick(widget, Qt::LeftButton, {}, widget->rect().center());
}

void cancelEditor(SetEditorDialog& editor)
{
    click(child<controls::GradientButton>(editor, "cancelButton"));
}

void fillAndSave(SetEditorDialog& editor, const QString& description, const QString& folder)
{
    auto* descriptionEdit = child<StoredTextEdit>(editor, "descriptionEdit");
    descriptionEdit->setFocus();
    descriptionEdit->selectAll();
    QTest::keyClicks(descriptionEdit, description);
    child<FolderEdit>(editor, "folderEdit")->setText(folder);
    click(child<controls::GradientButton>(editor, "saveButton"));
}

QByteArray fileBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void AppFixture::addBackupSet(const QString& description, const QString& folder)
{
    whenEditorShows([=](SetEditorDialog& shown) { fillAndSave(shown, description, folder); });
    click("addSetButton");
}

void AppFixture::clickCategory(int index)
{
    const QRect item = setList()->visualItemRect(setList()->item(index));
    QTest::mouseClick(setList()->viewport(), Qt::LeftButton, {}, item.center());
}

void AppFixture::doubleClickCategory(int index)
{
    const QRect item = setList()->visualItemRect(setList()->item(index));
    QTest::mouseDClick(setList()->viewport(), Qt::LeftButton, {}, item.center());
}

void AppFixture::startWithCheckedSet(const QString& destination, const QStringList& paths)
{
    ASSERT_TRUE(QDir().mkpath(destination));
    start();
    addBackupSet("Docs", destination);
    dialogs.setNextFiles(paths);
    click("addFilesButton"); // the dialog only lists; folders are paths like any other
    ASSERT_EQ(pathItems().size(), paths.size());
    QTest::mouseClick(checkBox("selectAllBox"), Qt::LeftButton);
    dialogs.clear();
}

void AppFixture::writeFile(const QString& path, const QByteArray& contents, int ageSeconds)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(contents);
    file.close();
    if (ageSeconds != 0)
        std::filesystem::last_write_time(path.toStdString(),
                                         std::filesystem::last_write_time(path.toStdString()) -
                                             std::chrono::seconds(ageSeconds));
}

void AppFixture::fromMenu(QAbstractItemView* list, const QString& menuName, const QString& actionName)
{
    const QPoint pos = list->visualRect(list->model()->index(0, 0)).center();
    QContextMenuEvent event(QContextMenuEvent::Mouse, pos, list->viewport()->mapToGlobal(pos));
    QApplication::sendEvent(list->viewport(), &event);
    auto* menu = main->findChild<QMenu*>(menuName);
    ASSERT_TRUE(QTest::qWaitFor([menu] { return menu->isVisible(); }));
    auto* action = main->findChild<QAction*>(actionName);
    ASSERT_TRUE(action->isEnabled());
    QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(action).center());
}

catalog::RunRecord AppFixture::lastRecordedRun(std::int32_t setNumber) const
{
    std::vector<std::string> warnings;
    auto runs = catalog::RunHistory(historyFile().toStdString())
                    .runsOf(main->catalog().dataFolder(), setNumber, warnings);
    return runs.empty() ? catalog::RunRecord{} : runs.back();
}

void AppFixture::click(const QString& name)
{
    testing::click(widget(name));
}

ListBox* AppFixture::setList() const
{
    return widget<ListBox>("setList");
}

CheckListBox* AppFixture::pathList() const
{
    return widget<CheckListBox>("pathList");
}

controls::GradientCheckBox* AppFixture::checkBox(const QString& name) const
{
    return widget<controls::GradientCheckBox>(name);
}

QStringList AppFixture::categoryItems() const
{
    QStringList items;
    for (int i = 0; i < setList()->count(); ++i)
        items << setList()->itemText(i);
    return items;
}

QStringList AppFixture::pathItems() const
{
    QStringList items;
    for (int i = 0; i < pathList()->count(); ++i)
        items << pathList()->itemText(i);
    return items;
}

} // namespace stowmere::app::testing
