// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "backup/Restore.h"

#include <QDialog>

#include <ctime>
#include <optional>
#include <string>
#include <vector>

class QCheckBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QRadioButton;
class QStackedWidget;
class QTreeView;
class QTreeWidget;

namespace stowmere::controls {
class TGradButton;
}

namespace stowmere::app {

class Dialogs;
class MomentModel;

/// Restoring a set from its backup: the moments the destination recorded (newest first),
/// the set's items as they stood at the chosen one, filled a folder at a time, and a search
/// that finds every kept version of a file by its name. What is chosen goes back to where
/// it came from or into a chosen folder; files there that differ are kept unless the user
/// ticks "Replace files that differ". The dialog only chooses: the window runs the restore
/// with request() once it is accepted.
class RestoreDialog final : public QDialog {
    Q_OBJECT

public:
    /// destination and items as the set stores and lists them; highlighted: an item to
    /// select first, or empty.
    RestoreDialog(Dialogs& dialogs, const QString& setDescription, std::string destination,
                  std::vector<std::string> items, const std::string& highlighted, QWidget* parent = nullptr);
    ~RestoreDialog() override;

    /// What to restore, as chosen; meaningful once the dialog is accepted.
    backup::RestoreRequest request() const;
    /// Where the files go, as the summary names it.
    QString targetText() const;

    /// A moment as the dialog shows it: local time, "2026-12-08 05:12:38".
    static QString localTime(std::time_t moment);

private:
    /// Shows the tree as it stood at the moment in row of the moments list.
    void showMoment(int row);
    /// Finds every kept version whose file name holds the search text.
    void search();
    void chooseFolder();
    void updateButtons();
    void restore();
    /// The original paths selected in the tree, none inside another.
    std::vector<std::string> selectedPaths() const;
    void showProblem(const QString& text);

    Dialogs& m_dialogs;
    std::string m_destination;
    std::vector<std::string> m_items;
    std::vector<std::time_t> m_moments; ///< per row of the moments list
    /// Every kept version, read at the first search.
    std::optional<std::vector<backup::KeptVersion>> m_versions;
    std::vector<const backup::KeptVersion*> m_found; ///< per row of the found list

    QLabel* m_problem = nullptr;        // restoreProblem
    QListWidget* m_momentList = nullptr; // restoreMoments
    QLineEdit* m_search = nullptr;      // restoreSearch
    QStackedWidget* m_pages = nullptr;
    QTreeView* m_tree = nullptr;        // restoreTree
    MomentModel* m_model = nullptr;
    QTreeWidget* m_foundList = nullptr; // restoreFound
    QRadioButton* m_toOriginal = nullptr; // restoreToOriginal
    QRadioButton* m_toFolder = nullptr;   // restoreToFolder
    QLineEdit* m_folder = nullptr;        // restoreFolder
    controls::TGradButton* m_browse = nullptr;  // restoreBrowse
    QCheckBox* m_replace = nullptr;             // restoreReplace
    controls::TGradButton* m_restore = nullptr; // restoreStart
    controls::TGradButton* m_cancel = nullptr;  // restoreCancel
};

} // namespace stowmere::app
