// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "RecordingDialogs.h"
#include "app/TfrmAECategory.h"
#include "app/TfrmMain.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>
#include <memory>

class TfrmProgress;

namespace stowmere::app::testing {

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
    void whenEditorShows(std::function<void(TfrmAECategory&)> action);
    /// Adds a backup set through the Add button and the editor.
    void addBackupSet(const QString& description, const QString& folder);
    /// Highlights a set the way a click does.
    void clickCategory(int index);

    QStringList categoryItems() const;
    QStringList pathItems() const;
    QString folder() const { return m_folder.path(); }

    QTemporaryDir m_folder;
    QString m_dataFolder;
    RecordingDialogs dialogs;
    std::unique_ptr<TfrmMain> main;
    TfrmAECategory* editor = nullptr;
    TfrmProgress* progress = nullptr; ///< owned by the main window
};

/// Types text into the editor's fields and presses Save.
void fillAndSave(TfrmAECategory& editor, const QString& description, const QString& folder);

/// The contents of a file; empty when it is missing or cannot be read.
QByteArray fileBytes(const QString& path);

} // namespace stowmere::app::testing
