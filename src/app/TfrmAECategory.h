// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>

class QLabel;
class TGradButton;
class TGradPanel;

namespace stowmere::store {
class TDataTable;
}

namespace stowmere::app {

class Dialogs;
class TDBEdit;
class TFolderEdit;

/// The modal editor of one backup set: its description, bound to the current row of the
/// backup-set table, and its "Backup To Folder". The caller puts the row into insert or
/// edit state and shows the dialog; Save posts the row, Cancel cancels it. Closing the
/// window by its title bar does neither: the next refill of the list finishes the row.
class TfrmAECategory : public QDialog {
    Q_OBJECT

public:
    TfrmAECategory(Dialogs& dialogs, store::TDataTable& table, QWidget* parent = nullptr);

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

protected:
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    Dialogs& m_dialogs;
    store::TDataTable& m_table;
};

} // namespace stowmere::app
