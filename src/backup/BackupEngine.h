// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "backup/BackupObserver.h"
#include "backup/Exclusions.h"
#include "backup/FolderScan.h"
#include "backup/OwnNames.h"
#include "backup/TimeGranularity.h"

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace stowmere::backup {

struct RemovalPlan;

struct BackupSettings {
    /// The backup set's "Backup To Folder" as stored; one trailing separator is dropped.
    std::string destination;
    /// Copy a file only when its copy in the destination is missing, of another kind or
    /// size, or its time differs from the source's (older or newer).
    bool incremental = false;
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
    /// Besides, the newest run folder of each of the last keepDaily days, keepWeekly weeks
    /// and keepMonthly months (local time) that have one is kept. A run folder is kept
    /// when any rule keeps it.
    std::int32_t keepDaily = 0;
    std::int32_t keepWeekly = 0;
    std::int32_t keepMonthly = 0;
    /// Read and look at the folders of a folder item on a second thread, ahead of the copy.
    /// false runs the very same scan between the copies, in the same order with the same
    /// reports; so does a machine with a single core, where a second thread buys nothing.
    bool parallelScan = true;
    /// Mirror the folder items: once an item's folder has been walked, every entry of its
    /// copy whose source is gone moves into this run's versions folder (never deleted here;
    /// pruning takes it by the keep rules, and keeps at least this run's folder). A removal
    /// that looks like a missing source (see RemovalPlan::massive) waits for the observer's
    /// yes.
    bool mirror = false;
    /// In a full copy, copy the small files of each folder on two threads. The run's own
    /// thread still tells the observer everything, file by file in the folder's order, so
    /// the reports are those of a copy on one thread.
    bool parallelCopy = true;
};

/// The totals of a preview.
struct PreviewTotals {
    std::uint64_t files = 0;    ///< files and links that would be copied
    std::uint64_t bytes = 0;    ///< their sizes
    std::uint64_t folders = 0;  ///< folders that would be created
    std::uint64_t same = 0;     ///< files an incremental run would leave as they are
    std::uint64_t removals = 0; ///< copies a mirrored run would move into versions
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
    /// Copies made again because verification had found them damaged or missing.
    std::uint64_t healed = 0;
    /// Entries of mirrored items' copies (a folder counts once) moved into versions as their
    /// sources were gone.
    std::uint64_t removed = 0;
    /// The bytes of the items' files the walk looked at, copied or up to date (every file
    /// of an incremental run): the most their copies can take.
    std::uint64_t sourceBytes = 0;
    /// Lines the run's output told and its history keeps (a stale lock taken over).
    std::vector<std::string> notes;
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
    /// What the destination could not hold of the copies' owners, attributes and ACLs: a
    /// line for each part, told once at the end of the run.
    std::vector<std::string> notKept;
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
/// moment; the run sets it itself when the destination cannot be written.
///
/// A run is one walk over the items (Walk) handing what it finds to a sink: CopySink for a
/// real run, PreviewSink for a dry run; a run that counts first walks each item with a
/// CountSink before it copies it. A source that vanishes or cannot be read costs the run
/// only that file or folder: it is listed at the end. Links inside a folder are copied as
/// links, never followed. A run holds a lock on its destination, so two runs never write
/// into one folder at once.
class Destination;
class CopySink;
class RunLog;

class BackupEngine {
public:
    BackupEngine(BackupSettings settings, BackupObserver& observer, std::atomic<bool>& cancelFlag);
    ~BackupEngine();
    BackupEngine(const BackupEngine&) = delete;
    BackupEngine& operator=(const BackupEngine&) = delete;

    /// The whole run over the list's item texts, in list order. Each item is looked at only
    /// if it is checked when the run reaches it; the number of items is taken once.
    BackupResult runBackup(const std::vector<std::string>& items);

    /// Name of the lock file a run holds in its destination folder.
    static constexpr const char* kRunLockName = ".stowmere-run.lock";
    /// What the holder of the run lock writes into it, so that a refused run or restore can
    /// say what it waits for.
    static constexpr const char* kBackupHolder = "backup";
    static constexpr const char* kRestoreHolder = "restore";
    /// Name of the folder in the destination that keeps the copies runs replaced.
    static constexpr std::string_view kVersionsFolderName = backup::kVersionsFolderName;

    /// The base name a folder item's tree is copied under: its last component (the whole
    /// text for a name without separator), empty for the file-system root, for an item that
    /// ends with a separator and for a last component "." or "..".
    static std::string baseName(const std::string& item);

    /// The destination as used for targets: one trailing separator removed, so the root
    /// "/" becomes "" and targets become "/name".
    const std::string& destination() const { return m_dest; }

    const BackupResult& result() const { return m_result; }

private:
    /// The count before the run; false when the run is not to start (cancelled or refused).
    bool countCheckedItems(const std::vector<std::string>& items, Destination& destination,
                           TimeGranularity& granularity);
    /// Walks one item with a CountSink, adding what it will copy to the totals.
    void countItem(std::size_t index, const std::string& item, Destination& destination,
                   TimeGranularity& granularity);
    /// Takes an item's count back out of the totals (it was unchecked before it was reached).
    void uncountItem(std::size_t index);
    void tellTotals();
    bool dryRun() const { return m_settings.dryRun; }
    bool cancelled() const { return m_cancelFlag.load(); }
    std::string destinationFolder() const;
    /// Moves (or, in a preview, lists) what the copy of the folder item holds that its
    /// source no longer does.
    void mirrorItem(const std::string& item, Destination& destination, CopySink* copy, RunLog& record,
                    const RemovalPlan& plan);
    /// Whether the item's copy is its alone: not the destination itself, and no other item
    /// of the list copied under the same name.
    bool ownsItsCopy(const std::vector<std::string>& items, std::size_t index) const;

    BackupSettings m_settings;
    BackupObserver& m_observer;
    std::atomic<bool>& m_cancelFlag;
    std::string m_dest;
    Exclusions m_exclusions;
    /// Each item's count, while the run that counted it is going on.
    std::vector<std::optional<PreviewTotals>> m_itemTotals;
    PreviewTotals m_counted;
    BackupResult m_result;
};

/// Runs one backup: BackupEngine(settings, observer, cancelFlag).runBackup(items).
BackupResult runBackup(const BackupSettings& settings, const std::vector<std::string>& items,
                       BackupObserver& observer, std::atomic<bool>& cancelFlag);

} // namespace stowmere::backup
