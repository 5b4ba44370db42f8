// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "RecordingDialogs.h"
#include "app/MainWindow.h"
#include "app/SetEditorDialog.h"
#include "support/ScopedEnv.h"

#include <QTemporaryDir>
#include <QWidget>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <stdexcept>

class QAbstractItemView;

namespace stowmere::progress {
class ProgressWindow;
} // namespace stowmere::progress

namespace stowmere::app {
class CheckListBox;
class ListBox;
} // namespace stowmere::app

namespace stowmere::app::testing {

/// The widget of window with this object name: its own, not one of a window it owns.
/// Throws when there is none, which fails the test.
template <typename Widget> Widget* child(const QWidget& window, const QString& name)
{
    for (Widget* found : window.findChildren<Widget*>(name)) {
        if (found->window() == &window)
            return found;
    }
    throw std::runtime_error(window.objectName().toStdString() + " has no widget " + name.toStdString());
}

/// A left click in the middle of the widget, as the user makes it.
void click(QWidget* widget);

/// The three windows of the program over table files in a temporary folder, with a
/// recording Dialogs. The editor is modal: what it should do is given before the command
/// that opens it, and runs once it is shown.
class AppFixture : public ::testing::Test {
protected:
    AppFixture();
    ~AppFixture() override;

    /// Creates and shows the windows over the data folder (the temporary one by default).
    void start(const QString& dataFolder = {});
    /// Closes the main window the way the user does and waits until its tables are closed.
    void closeMainWindow();
    /// Destroys the windows without closing (tables are still written by the destructor).
    void destroyWindows();

    /// What the editor does the next time it is shown. If it is still open afterwards (a
    /// validation message kept it open), it is cancelled so the test cannot hang.
    void whenEditorShows(std::function<void(SetEditorDialog&)> action);
    /// Adds a backup set through the Add button and the editor.
    void addBackupSet(const QString& description, const QString& folder);
    /// Highlights a set the way a click does.
    void clickCategory(int index);
    /// Double-clicks a set, which opens the editor on it.
    void doubleClickCategory(int index);
    /// A set "Docs" backing up into destination (made here) with the paths added through
    /// the Add Files button and all checked through "Select All".
    void startWithCheckedSet(const QString& destination, const QStringList& paths);
    /// Writes a file, making its missing folders; a non-zero age sets its modification time
    /// that many seconds back.
    static void writeFile(const QString& path, const QByteArray& contents, int ageSeconds = 0);
    /// Opens a list's context menu over its first entry and clicks the action there.
    void fromMenu(QAbstractItemView* list, const QString& menuName, const QString& actionName);
    /// The last run of the set the history holds; an empty record when there is none.
    catalog::RunRecord lastRecordedRun(std::int32_t setNumber) const;
    /// Clicks the main window's widget with this object name.
    void click(const QString& name);
    void click(QWidget* widget) { testing::click(widget); }

    // The main window's widgets, found by their object names.
    template <typename Widget = QWidget> Widget* widget(const QString& name) const
    {
        return child<Widget>(*main, name);
    }
    ListBox* setList() const;
    CheckListBox* pathList() const;
    controls::GradientCheckBox* checkBox(const QString& name) const;

    QStringList categoryItems() const;
    QStringList pathItems() const;
    QString folder() const { return m_folder.path(); }
    /// The run history the windows write: the state folder is a temporary one of its own.
    QString historyFile() const { return m_stateFolder.path() + "/stowmere/history.jsonl"; }

    QTemporaryDir m_folder;
    QTemporaryDir m_stateFolder;
    stowmere::testing::ScopedEnv m_stateHome;
    QString m_dataFolder;
    RecordingDialogs dialogs;
    std::unique_ptr<MainWindow> main;
    SetEditorDialog* editor = nullptr;
    progress::ProgressWindow* progress = nullptr; ///< owned by the main window
};

/// Clicks the editor's Cancel button.
void cancelEditor(SetEditorDialog& editor);

/// Types text into the editor's fields and presses Save.
void fillAndSave(SetEditorDialog& editor, const QString& description, const QString& folder);

/// The contents of a file; empty when it is missing or cannot be read.
QByteArray fileBytes(const QString& path);

} // namespace stowmere::app::testing
