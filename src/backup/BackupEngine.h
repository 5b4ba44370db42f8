// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "backup/BackupObserver.h"
#include "backup/Exclusions.h"
#include "backup/FolderScan.h"
#include "backup/SharedFolderCopy.h"
#include "backup/VersionStore.h"
#include "platform/FileCopier.h"
#include "platform/FileLock.h"
#include "platform/FileQueries.h"
#include "platform/OpenFolder.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace stowmere::backup {

struct BackupSettings {
    /// The backup set's "Backup To Folder" as stored; one trailing separator is dropped.
    std::string destination;
    /// Copy a file only when its copy in the destination is missing or older.
    bool incremental = false;
    /// Pause after a complete run before the progress display closes, so the user sees the
    /// full bar. Not made after a cancelled run.
    std::chrono::milliseconds finalPause{500};
    /// How the pause is waited; empty means std::this_thread::sleep_for. Tests record it.
    std::function<void(std::chrono::milliseconds)> sleep;
    /// A preview: the run walks the items as it would, telling the observer through
    /// previewEntry what it would copy and make, and writes nothing at all (no lock, no
    /// folder, no probe of the destination's time granularity).
    bool dryRun = false;
    /// With dryRun: also total the bytes the copies will take on the destination's disk
    /// (allocated, so sparse files count as what they hold), net of the copies they replace.
    bool countAllocated = false;
    /// A real run first walks the items checked at its start as a dry run would, without
    /// keeping anything per file, tells the observer the totals and, when the copies do not
    /// fit the free space, asks it whether to start anyway. An item checked later is counted
    /// when the run reaches it.
    bool countFirst = false;
    /// Patterns of files and folders below an item that the run leaves out.
    std::vector<std::string> exclusions;
    /// Leave out folders that hold a valid CACHEDIR.TAG.
    bool honourCacheDirTag = false;
    /// Before a file whose copy differs is replaced, the copy is moved into the
    /// destination's versions folder; at the end of a successful run the run folders
    /// beyond the newest keepVersions, and those older than keepDays days (0: no age
    /// limit), are deleted. keepVersions 0 keeps none.
    std::int32_t keepVersions = 0;
    std::int32_t keepDays = 0;
    /// Read and look at the folders of a folder item on a second thread, ahead of the copy.
    /// false runs the very same scan between the copies, in the same order with the same
    /// reports; so does a machine with a single core, where a second thread buys nothing.
    bool parallelScan = true;
    /// In a full copy, copy the small files of each folder on two threads. The run's own
    /// thread still tells the observer everything, file by file in the folder's order, so
    /// the reports are those of a copy on one thread.
    bool parallelCopy = true;
};

/// The totals of a preview.
struct PreviewTotals {
    std::uint64_t files = 0;   ///< files and links that would be copied
    std::uint64_t bytes = 0;   ///< their sizes
    std::uint64_t folders = 0; ///< folders that would be created
    std::uint64_t same = 0;    ///< files an incremental run would leave as they are
    /// With countAllocated: disk bytes the copies need beyond those of the copies they
    /// replace; 0 when the run would free more than it takes.
    std::uint64_t neededBytes() const
    {
        return allocatedChange > 0 ? static_cast<std::uint64_t>(allocatedChange) : 0;
    }
    std::int64_t allocatedChange = 0;
};

/// A file, folder or link the run could not read (or could not store) and went on without.
struct NotBackedUp {
    std::string path;
    std::string reason; ///< the system's text, or what else kept it out of the backup
};

struct BackupResult {
    std::uint64_t filesCopied = 0;
    /// The bytes of the files copied, each counted once, when its copy was complete.
    std::uint64_t bytesCopied = 0;
    /// The run ended early because the cancel flag was set (by Cancel or a failed copy).
    bool cancelled = false;
    /// The destination could not be written (a copy or a folder failed there); the failure
    /// box was shown and the run stopped. failedFile is the source path, failureReason the
    /// system's text.
    bool copyFailed = false;
    std::string failedFile;
    std::string failureReason;
    /// The run did not start: another run holds the destination, or the destination and a
    /// checked item lie inside each other. refusal is the text that was shown.
    bool refused = false;
    std::string refusal;
    /// The refusal was the observer's answer to copies that do not fit the free space.
    bool refusedForSpace = false;
    /// What the count before the run found, items checked later included; zero without
    /// countFirst.
    RunTotals totals;
    /// What could not be read and was left out while the run went on, in the order met:
    /// the first kMaxNotBackedUp of them; notBackedUpCount counts them all.
    std::vector<NotBackedUp> notBackedUp;
    std::size_t notBackedUpCount = 0;
    static constexpr std::size_t kMaxNotBackedUp = 1000;
    /// Error boxes shown for anything else (unreadable folders, unexpected errors).
    std::size_t otherErrors = 0;
    /// Files and folders an exclusion pattern or a cache tag left out (a folder counts once,
    /// whatever it holds).
    std::uint64_t excluded = 0;
    /// Checked items that were neither a file nor a folder when the run reached them.
    std::vector<std::string> missingItems;
    /// What a preview found; zero for a real run.
    PreviewTotals preview;
};

/// Copies checked list items into a destination folder: files straight into it, folders
/// with their whole sub-tree into a sub-folder named after them. Synchronous: the caller
/// decides on which thread it runs. It reaches the window only through the observer and
/// the cancel flag, which the caller clears before the run and which Cancel may set at any
/// moment; the engine sets it itself when the destination cannot be written.
///
/// A source that vanishes or cannot be read costs the run only that file or folder: it is
/// listed at the end. Links inside a folder are copied as links, never followed. A run holds
/// a lock on its destination, so two runs never write into one folder at once.
class BackupEngine {
public:
    BackupEngine(BackupSettings settings, BackupObserver& observer, std::atomic<bool>& cancelFlag);
    ~BackupEngine();
    BackupEngine(const BackupEngine&) = delete;
    BackupEngine& operator=(const BackupEngine&) = delete;

    /// The whole run over the list's item texts, in list order. Each item is looked at only
    /// if it is checked when the run reaches it; the number of items is taken once.
    BackupResult RunBackup(const std::vector<std::string>& items);

    // The steps of a folder item, public so that each can be driven on its own.

    /// Scans the whole tree of item at once and keeps it: the sub-folder list starts with
    /// the empty entry (the item folder itself) followed by every folder below item, depth
    /// first, each before the folders below it. Entries are relative to item: "/Sub",
    /// "/Sub/Deep", or "Sub", "Sub/Deep" when item ends with a separator. A folder already
    /// on the way down (a link loop) is left out. A run does not hold the list: it copies
    /// each folder as the scan hands it over.
    void BuildFolderList(const std::string& item);
    /// Re-creates every listed folder under destination/base and copies its files, in list
    /// order, until the cancel flag is set; then gives the folders their sources'
    /// permission bits. What the scan met (folders it could not read or left out) is told
    /// as each folder is reached, as in a run.
    void CopyFolderTree(const std::string& item, const std::string& base);
    /// Creates destination/base + rel (one level) and copies the files directly inside
    /// item + rel into it. A source folder that cannot be read is listed at the end; a target
    /// folder that cannot be made stops the run with the failure box.
    void CopyFolderFiles(const std::string& item, const std::string& base, const std::string& rel);
    /// Releases the sub-folder list.
    void FreeFolderList();
    /// The sub-folder list BuildFolderList made, else null.
    const std::vector<std::string>* FolderList() const { return m_folderList.get(); }

    /// Copies source over target; counts and announces a success. A source that cannot be
    /// read is listed at the end; a target that cannot be written shows the failure box with
    /// its reason and sets the cancel flag.
    void CopyOneFile(const std::string& source, const std::string& target);

    /// Name of the lock file a run holds in its destination folder.
    static constexpr const char* kRunLockName = ".stowmere-run.lock";
    /// What the holder of the run lock writes into it, so that a refused run or restore can
    /// say what it waits for.
    static constexpr const char* kBackupHolder = "backup";
    static constexpr const char* kRestoreHolder = "restore";
    /// Name of the folder in the destination that keeps the copies runs replaced. Never
    /// backed up itself, wherever it is met.
    static constexpr std::string_view kVersionsFolderName = FolderScan::kVersionsFolderName;

    /// The base name a folder item's tree is copied under: its last component (the whole
    /// text for a name without separator), empty for the file-system root, for an item that
    /// ends with a separator and for a last component "." or "..".
    static std::string BaseName(const std::string& item);

    /// The destination as used for targets: one trailing separator removed, so the root
    /// "/" becomes "" and targets become "/name".
    const std::string& Dest() const { return m_dest; }

    const BackupResult& result() const { return m_result; }

    /// The incremental rule: copy when the target is missing, differs in size or is older
    /// than the source at the destination's time granularity (in nanoseconds).
    static bool isUpToDate(const files::FileStatus& target, const files::FileStatus& source,
                           std::int64_t granularity);

    /// The time granularity guessed without writing, from the kind of file system holding
    /// folder: 2 s for FAT, 10 ms for exFAT, else 1. Used by a preview, which must not write.
    static std::int64_t GuessTimeGranularity(const std::string& folder);

    /// The finest modification-time step the file system holding folder keeps, in
    /// nanoseconds, found by writing a known time to a temporary file and reading it back:
    /// 1 on ext4, 2,000,000,000 on FAT. 1 when it cannot be found out (copying too much is
    /// safe; skipping a changed file is not).
    static std::int64_t ProbeTimeGranularity(const std::string& folder);

private:
    /// How far the scan may run ahead of the copy, in files (and folders): some 6 MiB of
    /// names and times at most, whatever the size of the tree.
    static constexpr std::size_t kMaxFilesAhead = 65536;
    /// What a full copy has read ahead of each file while scanning: small files whole.
    static constexpr std::size_t kPrefetchBytes = std::size_t{64} * 1024;
    /// Files shared between the two copying threads at a time: bounds what is kept of the
    /// copies not yet told.
    static constexpr std::size_t kSharedFiles = 1024;
    /// Larger files are copied by the run's own thread, in turn, with live progress.
    static constexpr std::uint64_t kSharedSizeLimit = std::uint64_t{1} << 20;

    /// What the scan of a folder item looks at and leaves out.
    ScanSettings scanSettings(const std::string& base) const;
    bool scanAhead() const;
    /// Copies the folders take hands out until the end record or a cancel, telling what the
    /// scan met as each one is taken.
    void copyFolders(const std::string& item, const std::string& base,
                     const std::function<FolderRecord()>& take);
    void copyFolderFiles(const std::string& item, const std::string& base, const std::string& rel,
                         const FolderRecord* listed, bool applyMode);
    /// What copying one folder's files has found out so far.
    struct FolderState {
        bool cleaned = false;    ///< leftovers of a killed run are gone from the target folder
        bool sourceSeen = false; ///< the source folder was there when its first file was copied
    };
    /// Copies one entry of a folder; false once the folder or the run is to stop.
    bool copyEntry(const std::string& sourceFolder, const std::string& targetFolder, const std::string& name,
                   bool link, const files::OpenFolder* targetLookup, const files::FileStatus* sourceStatus,
                   FolderState& state);
    void copyFileItem(const std::string& item);
    void copyFolderItem(const std::string& item);
    void copyLink(const std::string& source, const std::string& target);
    /// Whether the files of a folder are copied on two threads: a full copy with a helper,
    /// where no copy replaced needs keeping.
    bool shareCopies(bool targetCreated) const;
    /// Copies listed files of one folder on both threads and tells each copy in list order,
    /// as copyEntry would have; false once the folder or the run is to stop.
    bool copySharedFiles(const std::string& sourceFolder, const std::string& targetFolder,
                         const std::string& rel, const std::vector<ScannedFile>& files, FolderState& state);
    /// Tells what the other thread's copy of one file ended in.
    void tellSharedCopy(const SharedFile& file);
    /// Counts and tells a copy that is over (of a link when link).
    void tellCopyOutcome(const std::string& source, const std::string& target,
                         const files::CopyOutcome& outcome, bool link);
    /// The preview's part of copying a file or link: tells the entry, counts it, copies nothing.
    void previewFile(const std::string& source, const std::string& target,
                     const files::FileStatus* sourceStatus, const files::FileStatus& targetStatus, bool link);
    void previewMissing(const std::string& item);
    /// The count before the run; false when the run is not to start (cancelled or refused).
    bool countCheckedItems(const std::vector<std::string>& items);
    /// Walks one item as a dry run, adding what it will copy to the totals.
    void countItem(std::size_t index, const std::string& item);
    /// Takes an item's count back out of the totals (it was unchecked before it was reached).
    void uncountItem(std::size_t index);
    void tellTotals();
    /// Whether the entry at relative below the current item is left out; counts and tells it.
    bool leftOut(const std::string& path, std::string_view relative, bool folder);
    /// Moves the copy at target aside when the source differs from it; false when it had
    /// to be moved and could not (the failure box was shown). kept tells where it went.
    bool keepReplacedCopy(const std::string& source, const std::string& target,
                          std::optional<std::string>& kept);
    void pruneVersions();
    bool dryRun() const { return m_settings.dryRun; }
    bool takeRunLock();
    bool canTakeRunLock();
    /// Makes the target folder of source (or finds it made), writable for the copy; false
    /// when it cannot be made, after the failure box. created tells whether it is new.
    bool makeTargetFolder(const std::string& source, const std::string& target, mode_t mode, bool& created);
    void applyFolderModes();
    std::int64_t timeGranularity();
    void notBackedUp(const std::string& path, const std::string& reason);
    void destinationFailed(const std::string& source, const std::string& targetFolder,
                           const std::string& reason);
    bool cancelled() const { return m_cancelFlag.load(); }
    void showError(const std::string& text);

    BackupSettings m_settings;
    BackupObserver& m_observer;
    std::atomic<bool>& m_cancelFlag;
    std::string m_dest;
    std::unique_ptr<std::vector<std::string>> m_folderList;
    std::deque<FolderRecord> m_heldFolders; ///< the records of BuildFolderList, not yet copied
    /// Target folders and the permission bits they get once their contents are in (a
    /// read-only folder made read-only at once could not be filled).
    std::vector<std::pair<std::string, mode_t>> m_folderModes;
    std::optional<files::FileLock> m_runLock;
    std::optional<std::int64_t> m_granularity;
    /// A granularity found by the run this one counts for, so that both decide alike.
    std::optional<std::int64_t> m_knownGranularity;
    /// Each item's count, while the run that counted it is going on.
    std::vector<std::optional<PreviewTotals>> m_itemTotals;
    PreviewTotals m_counted;
    bool m_destCleaned = false;
    mode_t m_umask = 0;
    files::FileCopier m_copier;
    /// The second copying thread of a full copy, while a folder item is copied.
    std::unique_ptr<CopyHelper> m_helper;
    Exclusions m_exclusions;
    std::unique_ptr<VersionStore> m_versions;
    std::unique_ptr<VersionStore::Keeper> m_keeper;
    /// The target folder being filled was made by this run, so nothing in it is replaced.
    bool m_targetFolderCreated = false;
    BackupResult m_result;
};

/// Runs one backup: BackupEngine(settings, observer, cancelFlag).RunBackup(items).
BackupResult RunBackup(const BackupSettings& settings, const std::vector<std::string>& items,
                       BackupObserver& observer, std::atomic<bool>& cancelFlag);

} // namespace stowmere::backup
