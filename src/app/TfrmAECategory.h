// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>

class QLabel;
class TGradButton;
class TGradPanel;

#include <cstdint>
#include <optional>

namespace stowmere::catalog {
class Catalog;
}

namespace stowmere::app {

class Dialogs;
class TDBEdit;
class TFolderEdit;

/// The modal editor of one backup set: its description, bound to the row the catalog is
/// editing, and its "Backup To Folder". The caller starts a new set or the edit of one and
/// shows the dialog; Save keeps the row when the catalog's checks pass, Cancel drops the
/// change. Closing the window by its title bar does neither: the caller finishes the row.
class TfrmAECategory : public QDialog {
    Q_OBJECT

public:
    TfrmAECategory(Dialogs& dialogs, catalog::Catalog& catalog, QWidget* parent = nullptr);

    TGradPanel* GradPanel1 = nullptr;
    TGradPanel* GradPanel4 = nullptr;
    QLabel* Label1 = nullptr;
    TDBEdit* DBEdit1 = nullptr;
    QLabel* Label2 = nullptr;
    TFolderEdit* DirectoryEdit1 = nullptr;
    TGradPanel* GradPanel3 = nullptr;
    TGradButton* btnSave = nullptr;
    TGradButton* btnCancel = nullptr;

    void FormShow();
    void btnSaveClick();
    void btnCancelClick();

    /// The number of the set the last Save kept; none after Cancel or a title-bar close.
    std::optional<std::int32_t> savedSet() const { return m_savedSet; }

protected:
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    Dialogs& m_dialogs;
    catalog::Catalog& m_catalog;
    std::optional<std::int32_t> m_savedSet;
};

} // namespace stowmere::app
