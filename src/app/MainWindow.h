// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "app/HandPlacement.h"
#include "app/ProgressTitle.h"
#include "backup/BackupEngine.h"
#include "backup/BackupObserver.h"
#include "backup/Restore.h"
#include "backup/Verifier.h"
#include "catalog/DestinationGuard.h"
#include "catalog/Entities.h"
#include "catalog/RunRecord.h"

#include <QPointer>
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
namespace stowmere {
namespace progress {
class ProgressWindow;
} // namespace progress
namespace controls {
class GradientButton;
class GradientCheckBox;
class GradientPanel;
} // namespace controls
namespace placement {
class PlacementStore;
} // namespace placement
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
class CheckListBox;
class ListBox;
class SetEditorDialog;

/// The main window: the list of backup sets, the check list of the current set's files
/// and folders, the commands around them, and the backup run. It owns the catalog of the
/// backup sets, read when the window is made and saved when it closes.
///
/// The highlighted backup set and the current set always agree: every refill of the set
/// list highlights one item and makes its set current, so no command acts on a set the
/// user does not see highlighted.
class MainWindow : public QWidget, private backup::BackupObserver {
    Q_OBJECT

public:
    /// Reads Category.cds and Path.cds in dataFolder (empty when missing).
    MainWindow(Dialogs& dialogs, std::string dataFolder, QWidget* parent = nullptr);
    ~MainWindow() override;

    /// The other two windows, created after this one.
    void setEditor(SetEditorDialog* editor) { m_editor = editor; }
    SetEditorDialog* editor() const { return m_editor; }
    void setProgress(progress::ProgressWindow* progress);

    catalog::Catalog& catalog() { return *m_catalog; }
    /// The set the commands act on: the highlighted one, once its row was found.
    std::optional<catalog::BackupSet> currentSet() const;
    /// The highlighted set for a command of the set's menu; none, after telling the user
    /// to pick one, when no set is highlighted.
    std::optional<catalog::BackupSet> setForCommand();
    /// The session ends (SIGTERM, SIGHUP, a logout): a run is stopped and recorded, the
    /// tables are written as Exit writes them, without a question (each takes its default,
    /// a file that cannot be written stays as it was), and closed is emitted at once.
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
    void closed();
    /// The progress bar has stepped past one more checked item of the run.
    void backupItemDone();
    /// A backup run has ended and the commands are enabled again.
    void backupFinished();

protected:
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    // Event handlers.
    void openTables();
    /// Lets a run ask the user about a server's unknown host key or a key's passphrase.
    void askAboutServers();
    void showFirstSet();
    void placeRightEdgeControls();
    /// How far from the window's right edge Exit and the web address start.
    int closeFromRight() const;
    int webFromRight() const;
    void showClickedSet();
    void editClickedSet();
    void addSet();
    void deleteSet();
    void addFolder();
    void addFiles();
    void deleteCheckedItems();
    void checkAllItems();
    void startBackup();
    void showHelp();
    void openWebSite();
    void exitProgram();
    void showToolsMenu();
    void showSetMenu(const QPoint& pos);
    void showPathMenu(const QPoint& pos);
    void previewBackup();
    void showHistory();
    void editOptions();
    /// Restore...: the restore dialog for the highlighted set, then the restore it chose on
    /// a worker thread with the progress window.
    void restoreFiles();
    void startRestore(backup::RestoreRequest request, const QString& target);
    void restoreFinished();
    /// Verify Backup...: reads every copy of the highlighted set on a worker thread with the
    /// progress window, then shows one summary box (defined in MainWindowVerify.cpp).
    void verifyBackup();
    void verifyFinished();
    void recordVerification(const backup::VerifyResult& result);

    // Table and list operations. The commands act on the highlighted set and the checked
    // items, whichever control starts them.
    void fillSetList();
    void fillPathList();
    bool locateSet();
    bool locatePath();
    void editSet();
    void addPath(const QString& path);
    void addSelectedFiles(const QStringList& files);
    void deleteCheckedPaths();
    int countChecked() const;

    /// Writes the changed tables to their files at Exit (once). Another program's changes
    /// since they were read are kept (the catalog applies this window's on top); a set
    /// changed on both sides is asked about. A file that cannot be written is offered again
    /// ("Try again?"); answering No leaves the old file as it was. A table that could not
    /// be read is never written. No lock is held while a question is open.
    void closeTables();
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
    void selectSet(int index);
    /// Makes the highlighted set the current one and shows its paths; none highlighted
    /// leaves no current set.
    void showHighlightedSet();
    /// The set list's highlight moved by any means but the window's own refill.
    void highlightChanged();
    /// The list index of the backup set with this number, or 0.
    int indexOfSet(std::optional<std::int32_t> categoryNo) const;
    bool setsEmpty() const;
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

    // The widgets; each one's object name is its member name without the prefix, and tests
    // find the widgets by it.
    controls::GradientPanel* m_titlePanel = nullptr;
    QLabel* m_webLink = nullptr;
    QLabel* m_backupNameLabel = nullptr;
    controls::GradientPanel* m_setPanel = nullptr;
    ListBox* m_setList = nullptr;
    controls::GradientPanel* m_pathPanel = nullptr;
    CheckListBox* m_pathList = nullptr;
    controls::GradientPanel* m_commandPanel = nullptr;
    controls::GradientButton* m_addFolderButton = nullptr;
    controls::GradientButton* m_addFilesButton = nullptr;
    controls::GradientButton* m_deletePathsButton = nullptr;
    controls::GradientButton* m_backupButton = nullptr;
    controls::GradientPanel* m_buttonBar = nullptr;
    controls::GradientButton* m_addSetButton = nullptr;
    controls::GradientButton* m_deleteSetButton = nullptr;
    controls::GradientButton* m_toolsButton = nullptr;
    controls::GradientCheckBox* m_selectAllBox = nullptr;
    controls::GradientCheckBox* m_incrementalBox = nullptr;
    QToolButton* m_helpButton = nullptr;
    controls::GradientButton* m_exitButton = nullptr;
    placement::PlacementStore* m_placement = nullptr;
    /// The controls of the title, the command panel and the bar, placed by hand.
    HandPlacement m_handPlaced;
    /// The control that had the keyboard when a run disabled the commands.
    QPointer<QWidget> m_focusBeforeRun;
    QMenu* m_setMenu = nullptr;
    QMenu* m_pathMenu = nullptr;
    QMenu* m_toolsMenu = nullptr;
    QAction* m_previewAction = nullptr;
    QAction* m_historyAction = nullptr;
    QAction* m_optionsAction = nullptr;
    QAction* m_restoreAction = nullptr;
    QAction* m_verifyAction = nullptr;

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

    SetEditorDialog* m_editor = nullptr;
    progress::ProgressWindow* m_progress = nullptr;

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
