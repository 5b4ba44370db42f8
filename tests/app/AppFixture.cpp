// SPDX-License-Identifier: GPL-3.0-or-later
#include "AppFixture.h"

#include "app/TCheckListBox.h"
#include "app/TDBEdit.h"
#include "app/TFolderEdit.h"
#include "controls/GradButton.h"
#include "progress/Progress.h"

#include <QFile>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

namespace stowmere::app::testing {

AppFixture::AppFixture() = default;

AppFixture::~AppFixture()
{
    destroyWindows();
}

void AppFixture::start(const QString& dataFolder)
{
    m_dataFolder = dataFolder.isEmpty() ? m_folder.path() : dataFolder;
    main = std::make_unique<TfrmMain>(dialogs, m_dataFolder.toStdString());
    editor = new TfrmAECategory(dialogs, main->catalog(), main.get());
    progress = new TfrmProgress(main.get());
    main->setEditor(editor);
    main->setProgress(progress);
    main->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(main.get()));
}

void AppFixture::closeMainWindow()
{
    QSignalSpy closed(main.get(), &TfrmMain::Closed);
    main->close();
    ASSERT_TRUE(closed.wait(5000));
}

void AppFixture::destroyWindows()
{
    main.reset();
    editor = nullptr;
    progress = nullptr;
}

void AppFixture::whenEditorShows(std::function<void(TfrmAECategory&)> action)
{
    QTimer::singleShot(0, editor, [this, action] {
        if (!QTest::qWaitFor([this] { return editor->isVisible(); }))
            ADD_FAILURE() << "the editor did not show";
        action(*editor);
        if (editor->isVisible())
            QTimer::singleShot(0, editor, [this] { editor->btnCancelClick(); });
    });
}

void fillAndSave(TfrmAECategory& editor, const QString& description, const QString& folder)
{
    editor.DBEdit1->setFocus();
    editor.DBEdit1->selectAll();
    QTest::keyClicks(editor.DBEdit1, description);
    editor.DirectoryEdit1->setText(folder);
    QTest::mouseClick(editor.btnSave, Qt::LeftButton);
}

QByteArray fileBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void AppFixture::addBackupSet(const QString& description, const QString& folder)
{
    whenEditorShows([=](TfrmAECategory& shown) { fillAndSave(shown, description, folder); });
    main->btnAddCategoryClick();
}

void AppFixture::clickCategory(int index)
{
    const QRect item = main->lstCategory->visualItemRect(main->lstCategory->item(index));
    QTest::mouseClick(main->lstCategory->viewport(), Qt::LeftButton, {}, item.center());
}

QStringList AppFixture::categoryItems() const
{
    QStringList items;
    for (int i = 0; i < main->lstCategory->count(); ++i)
        items << main->lstCategory->itemText(i);
    return items;
}

QStringList AppFixture::pathItems() const
{
    QStringList items;
    for (int i = 0; i < main->chklstList->count(); ++i)
        items << main->chklstList->itemText(i);
    return items;
}

} // namespace stowmere::app::testing
