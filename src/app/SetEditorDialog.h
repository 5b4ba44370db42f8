// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>

class QLabel;

namespace stowmere::controls {
class GradientButton;
class GradientPanel;
} // namespace stowmere::controls

#include <cstdint>
#include <optional>

namespace stowmere::catalog {
class Catalog;
struct BackupSet;
} // namespace stowmere::catalog

namespace stowmere::app {

class Dialogs;
class StoredTextEdit;
class FolderEdit;

/// The modal editor of one backup set: its description and its "Backup To Folder". The
/// caller starts a new set or the edit of one and shows the dialog; Save hands both values
/// to the catalog, which checks and keeps them, Cancel drops the change. Closing the window
/// by its title bar does neither: the caller then calls finish().
class SetEditorDialog : public QDialog {
    Q_OBJECT

public:
    SetEditorDialog(Dialogs& dialogs, catalog::Catalog& catalog, QWidget* parent = nullptr);

    /// The next showing makes a new set.
    void startNewSet();
    /// The next showing edits this set.
    void startEditSet(const catalog::BackupSet& set);
    /// The number of the set the last Save kept; none after Cancel or a title-bar close.
    std::optional<std::int32_t> savedSet() const { return m_savedSet; }
    /// After the dialog closed: a description typed into an editor closed by its title bar
    /// is kept (a new set is made without a folder). The number of the set kept or saved.
    std::optional<std::int32_t> finish();

protected:
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void prepareFields();
    void save();
    void cancel();

    // The widgets; each one's object name is its member name without the prefix.
    controls::GradientPanel* m_titlePanel = nullptr;
    controls::GradientPanel* m_fieldPanel = nullptr;
    QLabel* m_descriptionLabel = nullptr;
    StoredTextEdit* m_descriptionEdit = nullptr;
    QLabel* m_folderLabel = nullptr;
    FolderEdit* m_folderEdit = nullptr;
    controls::GradientPanel* m_buttonBar = nullptr;
    controls::GradientButton* m_saveButton = nullptr;
    controls::GradientButton* m_cancelButton = nullptr;

    Dialogs& m_dialogs;
    catalog::Catalog& m_catalog;
    /// The set being edited; none for a new one.
    std::optional<std::int32_t> m_editedSet;
    QString m_storedDestination;
    std::optional<std::int32_t> m_savedSet;
    bool m_cancelled = false;
};

} // namespace stowmere::app
