// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "app/ProgressTitle.h"
#include "backup/BackupEngine.h"
#include "backup/BackupObserver.h"
#include "backup/Restore.h"
#include "backup/Verifier.h"
#include "catalog/DestinationGuard.h"
#include "catalog/Entities.h"
#include "catalog/RunRecord.h"

#include <QWidget>

#include <array>
#include <atomic>
#include <cstddef>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class QAction;
class QLabel;
class QMenu;
class QToolButton;
class TfrmProgress;

namespace stowmere {
namespace controls {
class TGradButton;
class TGradCheckBox;
class TGradPanel;
} // namespace controls
class TFormPlacement;
namespace catalog {
class Catalog;
struct BackupSet;
} // namespace catalog
} // namespace stowmere

namespace stowmere::app {

class Dialogs;
class BackupWorker;
class RestoreWorker;
class VerifyWorker;
class TCheckListBox;
class TListBox;
class TfrmAECategory;

/// The main window: the list of backup sets, the check list of the current set's files
/// and folders, the commands around them, and the backup run. It owns the catalog of the
/// backup sets, read when the window is made and saved when it closes.
///
/// The highlighted backup set and the current set always agree: every refill of the set
/// list highlights one item and makes its set current, so no command acts on a set the
/// user does not see highlighted.
class TfrmMain : public QWidget, private backup::BackupObserver {
    Q_OBJECT

public:
    /// Reads Category.cds and Path.cds in dataFolder (empty when missing).
    TfrmMain(Dialogs& dialogs, std::string dataFolder, QWidget* parent = nullptr);
    ~TfrmMain() override;

    /// The other two windows, created after this one.
    void setEditor(TfrmAECategory* editor) { m_editor = editor; }
    TfrmAECategory* editor() const { return m_editor; }
    void setProgress(TfrmProgress* progress);

    catalog::Catalog& catalog() { return *m_catalog; }
    /// The set the commands act on: the highlighted one, once its row was found.
    std::optional<catalog::BackupSet> currentSet() const;
    /// The session ends (SIGTERM, SIGHUP, a logout): a run is stopped and recorded, the
    /// tables are written as Exit writes them, without a question (each takes its default,
    /// a file that cannot be written stays as it was), and Closed is emitted at once.
    void endSession();
    /// The session manager asks for the work to be saved: the tables are written as at the
    /// end of the session, and the window stays open. Nothing is written while a run or the
    /// editor is open; the end of the session writes it then.
    void commitSession();
    /// Whether a backup or a restore is running: the commands that change the tables wait.
    bool backupRunning() const
    {
        return m_backupWorker != nullptr || m_restoreWorker != nullptr || m_verifyWorker != nullptr;
    }

signals:
    /// The window has faded out and its tables are closed: the program may end.
    void Closed();
    /// The progress bar has stepped past one more checked item of the run.
    void backupItemDone();
    /// A backup run has ended and the commands are enabled again.
    void backupFinished();

protected:
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Event handlers.
    void FormCreate();
    /// Lets a run ask the user about a server's unknown host key or a key's passphrase.
    void askAboutServers();
    void FormShow();
    void FormResize();
    void lstCategoryClick();
    void lstCategoryDblClick();
    void btnAddCategoryClick();
    void btnDeleteCategoryClick();
    void btnAddFolderClick();
    void btnAddFilesClick();
    void btnDeleteClick();
    void chkSelectAllClick();
    void btnBackupClick();
    void SpeedButton1Click();
    void Label1Click();
    void btnCloseClick();
    void btnSetToolsClick();
    void lstCategoryContextPopup(const QPoint& pos);
    void chklstListContextPopup(const QPoint& pos);
    void PreviewBackupClick();
    void BackupHistoryClick();
    void BackupOptionsClick();
    /// Restore...: the restore dialog for the highlighted set, then the restore it chose on
    /// a worker thread with the progress window.
    void RestoreClick();
    void startRestore(backup::RestoreRequest request, const QString& target);
    void restoreFinished();
    /// Verify Backup...: reads every copy of the highlighted set on a worker thread with the
    /// progress window, then shows one summary box (defined in MainWindowVerify.cpp).
    void verifyBackupClick();
    void verifyFinished();
    void recordVerification(const backup::VerifyResult& result);

    // Table and list operations. The commands act on the highlighted set and the checked
    // items, whichever control starts them.
    void FillCategoryList();
    void FillPathList();
    bool LocateCategory();
    bool LocatePath();
    void EditCategory();
    void AddPath(const QString& path);
    void AddSelectedFiles(const QStringList& files);
    void DeleteCheckedPaths();
    int CountChecked() const;

    /// Writes the changed tables to their files at Exit (once). Another program's changes
    /// since they were read are kept (the catalog applies this window's on top); a set
    /// changed on both sides is asked about. A file that cannot be written is offered again
    /// ("Try again?"); answering No leaves the old file as it was. A table that could not
    /// be read is never written. No lock is held while a question is open.
    void CloseTables();
    /// One save of the tables; askUser false takes every question's default and gives up a
    /// file that cannot be written. The lists are refilled when another program's changes
    /// came in.
    void saveTables(bool askUser);

    // The run's reports, on the user-interface thread (the worker brings them here).
    bool isItemChecked(std::size_t index) override;
    void uncheckItem(std::size_t index) override;
    void totalsCounted(const backup::RunTotals& totals) override;
    bool startWithoutSpace(std::uint64_t needed, std::uint64_t free, const std::string& folder) override;
    bool allowMassRemoval(const std::string& item, std::uint64_t files, std::uint64_t copies,
                          bool sourceEmpty) override;
    void bytesCopied(std::uint64_t bytes) override;
    void copyProgress(const std::string& source, std::uint64_t done, std::uint64_t size) override;
    void fileCopied(std::uint64_t count) override;
    void itemDone() override;
    void showError(const std::string& text) override;
    void showInformation(const std::string& text) override;
    void closeProgress() override;

    void createComponents();
    void connectHandlers();
    /// The smallest size at which no control of the window covers another.
    QSize minimumLayoutSize() const;
    /// Runs a command that changes the sets when the catalog allows changes; otherwise says
    /// why it does not.
    bool changesAllowed();
    /// Highlights item index of the set list (none when out of range), makes its row
    /// current and shows its paths.
    void selectCategory(int index);
    /// Makes the highlighted set the current one and shows its paths; none highlighted
    /// leaves no current set.
    void showHighlightedSet();
    /// The set list's highlight moved by any means but the window's own refill.
    void highlightChanged();
    /// The list index of the backup set with this number, or 0.
    int indexOfCategory(std::optional<std::int32_t> categoryNo) const;
    bool categoriesEmpty() const;
    bool pathsCanBeAdded();
    bool pathsEmpty() const;
    /// The context menus' entries enabled for the current state: none during a run.
    void updateMenuActions();
    /// Appends the record of a run of set to the run history. A failure to write it is told
    /// once per window, in one box; the run itself is not affected.
    void recordRun(const catalog::RunRecord& record);
    /// Sets each backup-set item's tooltip: the list's hint, then the set's last backup.
    void updateSetTooltips();
    /// Reads the last backups from the history again when its file has changed since it was
    /// last read; returns whether it did.
    bool reloadLastBackups();
    void setRunning(bool running);
    void backupThreadFinished();
    bool closeQuery();
    void fadeOutAndClose();

    // The widgets; each one's object name is its name in the window's design.
    controls::TGradPanel* m_titlePanel = nullptr;         // GradPanel1
    QLabel* m_webLink = nullptr;                          // Label1
    QLabel* m_backupNameLabel = nullptr;                  // Label2
    controls::TGradPanel* m_setPanel = nullptr;           // GradPanel2
    TListBox* m_setList = nullptr;                        // lstCategory
    controls::TGradPanel* m_pathPanel = nullptr;          // GradPanel5
    TCheckListBox* m_pathList = nullptr;                  // chklstList
    controls::TGradPanel* m_commandPanel = nullptr;       // GradPanel4
    controls::TGradButton* m_addFolderButton = nullptr;   // btnAddFolder
    controls::TGradButton* m_addFilesButton = nullptr;    // btnAddFiles
    controls::TGradButton* m_deletePathsButton = nullptr; // btnDelete
    controls::TGradButton* m_backupButton = nullptr;      // btnBackup
    controls::TGradPanel* m_buttonBar = nullptr;          // GradPanel3
    controls::TGradButton* m_addSetButton = nullptr;      // btnAddCategory
    controls::TGradButton* m_deleteSetButton = nullptr;   // btnDeleteCategory
    controls::TGradButton* m_toolsButton = nullptr;       // btnSetTools
    controls::TGradCheckBox* m_selectAllBox = nullptr;    // chkSelectAll
    controls::TGradCheckBox* m_incrementalBox = nullptr;  // chkIncremental
    QToolButton* m_helpButton = nullptr;                  // SpeedButton1
    controls::TGradButton* m_exitButton = nullptr;        // btnClose
    TFormPlacement* m_placement = nullptr;                // FormPlacement1
    QMenu* m_setMenu = nullptr;                           // categoryMenu
    QMenu* m_pathMenu = nullptr;                          // pathMenu
    QMenu* m_toolsMenu = nullptr;                         // toolsMenu
    QAction* m_previewAction = nullptr;                   // actPreviewBackup
    QAction* m_historyAction = nullptr;                   // actBackupHistory
    QAction* m_optionsAction = nullptr;                   // actBackupOptions
    QAction* m_restoreAction = nullptr;                   // actRestore
    QAction* m_verifyAction = nullptr;                    // actVerifyBackup

    Dialogs& m_dialogs;
    std::string m_dataFolder;
    std::unique_ptr<catalog::Catalog> m_catalog;
    bool m_tablesClosed = false;
    bool m_sessionEnded = false;
    /// The set the commands act on (Category_No).
    std::optional<std::int32_t> m_currentSet;
    /// Set while the window itself refills or highlights the set list.
    bool m_selectingByProgram = false;
    /// Category_No of each set-list item and Path_No of each check-list item, so that
    /// equal descriptions or paths still name one row each.
    std::vector<std::int32_t> m_categoryNos;
    std::vector<std::int32_t> m_pathNos;

    TfrmAECategory* m_editor = nullptr;
    TfrmProgress* m_progress = nullptr;

    std::atomic<bool> m_cancelFlag{false};
    /// The running backup, if any. Its destruction stops the run and waits for it.
    std::unique_ptr<BackupWorker> m_backupWorker;
    /// The running restore, if any; its destruction stops it and waits for it.
    std::unique_ptr<RestoreWorker> m_restoreWorker;
    QString m_restoreFolder;
    /// The running verification, if any; its destruction stops it and waits for it.
    std::unique_ptr<VerifyWorker> m_verifyWorker;
    catalog::BackupSet m_verifySet;
    backup::VerifySettings m_verifySettings;
    catalog::RunRecord::Clock::time_point m_verifyStart;
    bool m_closeAfterRun = false;
    /// What the running backup was started with, for its record in the history.
    catalog::BackupSet m_runSet;
    backup::BackupSettings m_runSettings;
    catalog::RunRecord::Clock::time_point m_runStart;
    /// The drive the destination lay on when the run started, recorded after a run that
    /// went through.
    catalog::DriveCheck m_runDrive;
    ProgressTitle m_progressTitle;
    bool m_historyFailureShown = false;
    /// The last backup of each set, as last read from the history, and what the history
    /// file looked like then (size, modification time, inode).
    std::map<std::int32_t, catalog::RunRecord> m_lastBackups;
    std::array<std::int64_t, 4> m_historyStamp{-1, -1, -1, -1};
    bool m_fading = false;
    bool m_closed = false;
};

} // namespace stowmere::app
