// SPDX-License-Identifier: GPL-3.0-or-later
#include "backup/BackupEngine.h"

#include "backup/BackupStartCheck.h"
#include "backup/FailureReport.h"
#include "backup/FolderStream.h"
#include "backup/PathText.h"
#include "backup/ReverseText.h"
#include "platform/OpenFolder.h"
#include "platform/Paths.h"
#include "platform/TemporaryFile.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <climits>
#include <cstring>
#include <exception>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <system_error>
#include <thread>
#include <unistd.h>

namespace stowmere::backup {
namespace {

using files::CopyOutcome;
using files::EntryKind;

constexpr const char* kPseudoReason = kPseudoFileSystemReason;
constexpr const char* kLinksRefusedReason = "links cannot be stored on this drive";
constexpr const char* kChangedKindReason = "it is no longer what it was when the folder was read";

bool endsWithSeparator(const std::string& path)
{
    return !path.empty() && path.back() == paths::kSeparator;
}

std::string reasonOf(const CopyOutcome& outcome)
{
    return outcome.changedKind ? kChangedKindReason : outcome.error.message();
}

std::int64_t floorDivide(std::int64_t value, std::int64_t step)
{
    const std::int64_t quotient = value / step;
    return (value % step != 0 && value < 0) ? quotient - 1 : quotient;
}

// A time cut down to the granularity, as a pair that compares in time order.
std::pair<std::int64_t, std::int64_t> truncated(const timespec& time, std::int64_t granularity)
{
    constexpr std::int64_t kSecond = 1'000'000'000;
    if (granularity >= kSecond)
        return {floorDivide(time.tv_sec, granularity / kSecond), 0};
    return {time.tv_sec, time.tv_nsec - time.tv_nsec % granularity};
}

/// The observer of the walk that counts an item before it is copied: every item it is
/// given is checked, and what the walk meets is kept from the window, which hears of it
/// from the copy itself. Running totals are passed on now and then, as a large tree takes
/// a while to count.
class CountingObserver : public BackupObserver {
public:
    CountingObserver(BackupObserver& observer, const RunTotals& before)
        : m_observer(observer), m_totals(before)
    {
        m_totals.complete = false;
    }
    bool isItemChecked(std::size_t) override { return true; }
    void uncheckItem(std::size_t) override {}
    void fileCopied(std::uint64_t) override {}
    void itemDone() override {}
    void showError(const std::string&) override {}
    void showInformation(const std::string&) override {}
    void closeProgress() override {}
    void previewEntry(const PreviewEntry& entry) override
    {
        if (entry.kind == PreviewEntry::Kind::Excluded || entry.kind == PreviewEntry::Kind::Mkdir ||
            entry.kind == PreviewEntry::Kind::Missing || entry.kind == PreviewEntry::Kind::Unreadable)
            return;
        ++m_totals.files;
        m_totals.bytes += entry.size;
        if (m_totals.files % kTellEvery == 0)
            m_observer.totalsCounted(m_totals);
    }

private:
    static constexpr std::uint64_t kTellEvery = 4096;
    BackupObserver& m_observer;
    RunTotals m_totals;
};

RunTotals totalsOf(const PreviewTotals& counted, bool complete)
{
    return {counted.files, counted.bytes, counted.neededBytes(), complete};
}

} // namespace

const char* PreviewKindName(PreviewEntry::Kind kind)
{
    switch (kind) {
    case PreviewEntry::Kind::New:
        return "new";
    case PreviewEntry::Kind::Size:
        return "size";
    case PreviewEntry::Kind::Newer:
        return "newer";
    case PreviewEntry::Kind::Replace:
        return "replace";
    case PreviewEntry::Kind::Mkdir:
        return "mkdir";
    case PreviewEntry::Kind::Link:
        return "link";
    case PreviewEntry::Kind::Same:
        return "same";
    case PreviewEntry::Kind::Excluded:
        return "excluded";
    case PreviewEntry::Kind::Missing:
        return "missing";
    case PreviewEntry::Kind::Unreadable:
        return "unreadable";
    }
    return "";
}

BackupEngine::BackupEngine(BackupSettings settings, BackupObserver& observer, std::atomic<bool>& cancelFlag)
    : m_settings(std::move(settings)), m_observer(observer), m_cancelFlag(cancelFlag),
      m_dest(m_settings.destination), m_umask(files::processUmask()), m_exclusions(m_settings.exclusions)
{
    // Only one separator goes, even from the root: "/" becomes "", so that the targets
    // made by appending "/" + name come out as "/name".
    if (endsWithSeparator(m_dest))
        m_dest.pop_back();
}

BackupEngine::~BackupEngine() = default;

BackupResult BackupEngine::RunBackup(const std::vector<std::string>& items)
{
    m_result = {};
    m_destCleaned = false;
    m_granularity = m_knownGranularity;
    m_versions.reset();
    m_keeper.reset();
    if (!dryRun()) {
        m_versions = std::make_unique<VersionStore>(m_dest);
        if (m_settings.keepVersions > 0)
            m_keeper = std::make_unique<VersionStore::Keeper>(*m_versions, std::time(nullptr));
    }
    if (dryRun() ? !canTakeRunLock() : !takeRunLock()) {
        m_observer.closeProgress();
        // Another run is news; a destination that cannot even take the lock is a failure.
        if (m_result.refusal == DestinationBusyText(m_settings.destination, kBackupHolder) ||
            m_result.refusal == DestinationBusyText(m_settings.destination, kRestoreHolder))
            m_observer.showInformation(m_result.refusal);
        else
            m_observer.showError(m_result.refusal);
        return m_result;
    }
    const std::size_t count = items.size();
    m_itemTotals.assign(m_settings.countFirst && !dryRun() ? count : 0, std::nullopt);
    m_counted = {};
    if (!m_itemTotals.empty() && !countCheckedItems(items)) {
        m_runLock.reset();
        m_observer.closeProgress();
        return m_result;
    }
    bool stopped = false;
    for (std::size_t i = 0; i < count && !stopped; ++i) {
        if (!m_observer.isItemChecked(i)) {
            uncountItem(i);
            continue;
        }
        m_observer.itemStarted(i, items[i]);
        // An item checked after the count joins the totals now.
        if (!m_itemTotals.empty() && !m_itemTotals[i]) {
            countItem(i, items[i]);
            tellTotals();
        }
        try {
            // The previous item is unchecked here as well as after its own step, so a
            // failed item loses its check once a later checked item is reached.
            if (i > 0)
                m_observer.uncheckItem(i - 1);
            const std::string& item = items[i];
            // An item checked after the run started escaped the check before it.
            if (LieInsideEachOther(m_dest.empty() ? std::string(1, paths::kSeparator) : m_dest, item)) {
                m_observer.showInformation(OverlapText(m_settings.destination, item));
                m_observer.itemDone();
                continue;
            }
            // What the item is on disk decides how it is copied, not whether its name has
            // a dot: "My.Data" may be a folder and "Makefile" a file.
            switch (files::kindOf(item)) {
            case EntryKind::File:
                copyFileItem(item);
                break;
            case EntryKind::Folder:
                copyFolderItem(item);
                break;
            case EntryKind::Missing:
            case EntryKind::Other:
                m_result.missingItems.push_back(item);
                previewMissing(item);
                break;
            }
            m_observer.itemDone();
            if (cancelled()) {
                m_observer.closeProgress();
                m_result.cancelled = true;
                stopped = true;
                continue;
            }
            m_observer.uncheckItem(i);
        } catch (const std::exception& error) {
            showError(error.what());
        }
    }
    // Old versions go only after a run that went through, and under its lock, so that
    // pruning never races another run into the same folder.
    if (!stopped && !dryRun() && !m_result.copyFailed)
        pruneVersions();
    // Nothing is written any more: another run may start while the boxes below are open.
    m_runLock.reset();
    if (!stopped && !dryRun()) {
        if (m_settings.sleep)
            m_settings.sleep(m_settings.finalPause);
        else
            std::this_thread::sleep_for(m_settings.finalPause);
        m_observer.closeProgress();
    }
    // Items that vanished are told once at the end rather than passed over in silence.
    if (!m_result.missingItems.empty())
        m_observer.showError(MissingItemsText(m_result.missingItems));
    if (m_result.notBackedUpCount > 0)
        m_observer.showInformation(NotBackedUpText(m_result.notBackedUp, m_result.notBackedUpCount));
    return m_result;
}

bool BackupEngine::countCheckedItems(const std::vector<std::string>& items)
{
    for (std::size_t i = 0; i < items.size() && !cancelled(); ++i) {
        if (m_observer.isItemChecked(i))
            countItem(i, items[i]);
    }
    if (cancelled()) {
        m_result.cancelled = true;
        return false;
    }
    tellTotals();
    const std::uint64_t needed = m_counted.neededBytes();
    const std::string folder = m_dest.empty() ? std::string(1, paths::kSeparator) : m_dest;
    const std::uint64_t free = GetFreeSpace(folder);
    if (needed > free && !m_observer.startWithoutSpace(needed, free, m_settings.destination)) {
        m_result.refused = true;
        m_result.refusedForSpace = true;
        m_result.refusal = NotEnoughSpaceLine(needed, free, m_settings.destination);
        return false;
    }
    return true;
}

void BackupEngine::countItem(std::size_t index, const std::string& item)
{
    // The count is a dry run of the one item: the same walk and the same rules as its copy,
    // so that what is counted is what is copied.
    BackupSettings scan = m_settings;
    scan.dryRun = true;
    scan.countAllocated = true;
    scan.countFirst = false;
    CountingObserver counter(m_observer, totalsOf(m_counted, false));
    BackupEngine engine(scan, counter, m_cancelFlag);
    // An incremental run must skip the files the count left out: both use the granularity
    // the run finds, not the preview's guess.
    if (m_settings.incremental)
        engine.m_knownGranularity = timeGranularity();
    const PreviewTotals counted = engine.RunBackup({item}).preview;
    m_itemTotals[index] = counted;
    m_counted.files += counted.files;
    m_counted.bytes += counted.bytes;
    m_counted.allocatedChange += counted.allocatedChange;
}

void BackupEngine::uncountItem(std::size_t index)
{
    if (index >= m_itemTotals.size() || !m_itemTotals[index])
        return;
    const PreviewTotals& counted = *m_itemTotals[index];
    m_counted.files -= counted.files;
    m_counted.bytes -= counted.bytes;
    m_counted.allocatedChange -= counted.allocatedChange;
    m_itemTotals[index].reset();
    tellTotals();
}

void BackupEngine::tellTotals()
{
    m_result.totals = totalsOf(m_counted, true);
    m_observer.totalsCounted(m_result.totals);
}

bool BackupEngine::canTakeRunLock()
{
    // What taking the lock would find, without making the lock file: a destination that
    // is no writable folder refuses the run with the same words.
    const std::string folder = m_dest.empty() ? std::string(1, paths::kSeparator) : m_dest;
    const files::FileStatus status = files::statusOf(folder);
    int error = 0;
    if (status.kind == EntryKind::Missing)
        error = ENOENT;
    else if (status.kind != EntryKind::Folder)
        error = ENOTDIR;
    else if (::access(folder.c_str(), W_OK | X_OK) != 0)
        error = errno;
    if (error == 0)
        return true;
    m_result.refused = true;
    m_result.refusal =
        "Cannot open the lock file " + paths::join(folder, kRunLockName) + ": " + SystemText(error);
    return false;
}

bool BackupEngine::takeRunLock()
{
    const std::string folder = m_dest.empty() ? std::string(1, paths::kSeparator) : m_dest;
    try {
        const std::string lockFile = paths::join(folder, kRunLockName);
        m_runLock = files::FileLock::acquire(lockFile, std::chrono::milliseconds(0));
        if (m_runLock) {
            m_runLock->recordHolder(kBackupHolder);
            return true;
        }
        m_result.refusal = DestinationBusyText(m_settings.destination, files::FileLock::holderOf(lockFile));
    } catch (const std::system_error& error) {
        // A file system without locks (some network shares) cannot keep two runs apart;
        // the run goes on as it did before there were locks.
        const int code = error.code().value();
        if (code == ENOLCK || code == EOPNOTSUPP || code == ENOSYS)
            return true;
        // A folder that cannot take an empty lock file cannot take the backup either.
        m_result.refusal = error.what();
    }
    m_result.refused = true;
    return false;
}

void BackupEngine::copyFileItem(const std::string& item)
{
    if (files::onPseudoFileSystem(item)) {
        notBackedUp(item, kPseudoReason);
        return;
    }
    if (leftOut(item, paths::fileNamePart(item), false))
        return;
    const std::string target = m_dest + paths::kSeparator + paths::fileNamePart(item);
    const files::FileStatus source = files::statusOf(item);
    struct stat targetInfo {};
    const bool targetThere = ::lstat(target.c_str(), &targetInfo) == 0;
    if (targetThere) {
        const files::FileStatus existing = files::statusFromStat(targetInfo);
        // The item is its own copy (an item of the destination itself, reached through a
        // link or a mount): nothing to do.
        if (existing.identity == source.identity)
            return;
        if (m_settings.incremental && isUpToDate(existing, source, timeGranularity())) {
            if (dryRun())
                previewFile(item, target, &source, existing, false);
            return;
        }
    }
    if (dryRun()) {
        previewFile(item, target, &source,
                    targetThere ? files::statusFromStat(targetInfo) : files::FileStatus{}, false);
        return;
    }
    if (!m_destCleaned) {
        files::TemporaryFile::removeLeftovers(m_dest.empty() ? std::string(1, paths::kSeparator) : m_dest);
        m_destCleaned = true;
    }
    CopyOneFile(item, target);
}

void BackupEngine::copyFolderItem(const std::string& item)
{
    const std::string base = BaseName(item);
    FolderScan scan(item, scanSettings(base), m_exclusions, m_cancelFlag);
    // The stream goes first, so its thread has stopped before the scan it drives goes.
    FolderStream stream([&scan](const std::atomic<bool>& stop) { return scan.next(stop); }, scanAhead(),
                        kMaxFilesAhead);
    struct HelperStopped {
        std::unique_ptr<CopyHelper>& helper;
        ~HelperStopped() { helper.reset(); }
    } helperStopped{m_helper};
    if (m_settings.parallelCopy && !m_settings.incremental && !dryRun() &&
        std::thread::hardware_concurrency() > 1) {
        try {
            m_helper = std::make_unique<CopyHelper>();
        } catch (const std::system_error&) {
            // No second thread to be had: this one copies everything, as on one core.
        }
    }
    copyFolders(item, base, [&stream] { return stream.take(); });
}

ScanSettings BackupEngine::scanSettings(const std::string& base) const
{
    ScanSettings settings;
    settings.lookAtFiles = m_settings.incremental || dryRun();
    settings.honourCacheDirTag = m_settings.honourCacheDirTag;
    settings.maxFilesPerFolder = kMaxFilesAhead;
    // A full copy reads every file: read ahead, the disk works on the next files while this
    // thread writes the last ones. An incremental run copies few of the files it scans.
    if (!m_settings.incremental && !dryRun() && scanAhead())
        settings.prefetchBytes = kPrefetchBytes;
    // A destination inside the item must not be copied into itself, nor the item's own
    // copy from an earlier run.
    for (const std::string& folder :
         {m_dest.empty() ? std::string(1, paths::kSeparator) : m_dest, m_dest + paths::kSeparator + base}) {
        if (const auto identity = files::identityOf(folder))
            settings.excluded.push_back(*identity);
    }
    return settings;
}

bool BackupEngine::scanAhead() const
{
    return m_settings.parallelScan && std::thread::hardware_concurrency() > 1;
}

void BackupEngine::copyFolders(const std::string& item, const std::string& base,
                               const std::function<FolderRecord()>& take)
{
    // Folders already filled get their bits whatever ends the copy, an error included.
    struct ModesApplied {
        BackupEngine& engine;
        ~ModesApplied() { engine.applyFolderModes(); }
    } modesApplied{*this};
    while (!cancelled()) {
        FolderRecord record = take();
        if (record.error)
            std::rethrow_exception(record.error);
        // What the scan met on its way here is told now, on this thread and in the order
        // met, whether the scan ran ahead or not.
        for (const ScanExclusion& left : record.exclusions) {
            ++m_result.excluded;
            if (dryRun())
                m_observer.previewEntry({PreviewEntry::Kind::Excluded, left.path, {}, 0, {}});
        }
        if (record.end)
            break;
        if (record.index > 0)
            m_observer.foldersListed(record.index + 1);
        if (record.unreadable)
            notBackedUp(item + record.rel, record.unreadableReason);
        if (cancelled())
            break;
        // The destination itself (an item copied straight into it) keeps its own bits.
        copyFolderFiles(item, base, record.rel, &record, !(record.index == 0 && base.empty()));
    }
}

std::string BackupEngine::BaseName(const std::string& item)
{
    if (paths::isRoot(item))
        return {};
    // The text after the last separator; empty when the item ends with one.
    const std::string reversed = ReverseText(item);
    const std::size_t separator = reversed.find(paths::kSeparator);
    std::string base = ReverseText(std::string_view(reversed).substr(0, separator));
    // "." and ".." name no folder of their own: a base of ".." would put the copy beside
    // the destination instead of inside it.
    if (base == "." || base == "..")
        return {};
    return base;
}

void BackupEngine::BuildFolderList(const std::string& item)
{
    FreeFolderList();
    m_folderList = std::make_unique<std::vector<std::string>>();
    FolderScan scan(item, scanSettings(BaseName(item)), m_exclusions, m_cancelFlag);
    const std::atomic<bool> never{false};
    for (;;) {
        FolderRecord record = scan.next(never);
        if (!record.end)
            m_folderList->push_back(record.rel);
        const bool end = record.end;
        m_heldFolders.push_back(std::move(record));
        if (end)
            break;
    }
}

void BackupEngine::CopyFolderTree(const std::string& item, const std::string& base)
{
    if (!m_folderList)
        return;
    copyFolders(item, base, [this] {
        if (m_heldFolders.empty()) {
            FolderRecord end;
            end.end = true;
            return end;
        }
        FolderRecord record = std::move(m_heldFolders.front());
        m_heldFolders.pop_front();
        return record;
    });
}

void BackupEngine::CopyFolderFiles(const std::string& item, const std::string& base, const std::string& rel)
{
    copyFolderFiles(item, base, rel, nullptr, true);
    applyFolderModes();
}

void BackupEngine::copyFolderFiles(const std::string& item, const std::string& base, const std::string& rel,
                                   const FolderRecord* listed, bool applyMode)
{
    try {
        const std::string source = item + rel;
        const std::string target = m_dest + paths::kSeparator + base + rel;
        if (listed && listed->unreadable)
            return; // told when the list was built
        files::FileStatus sourceFolder;
        if (listed) {
            sourceFolder.kind = EntryKind::Folder;
            sourceFolder.mode = listed->mode;
            sourceFolder.identity = listed->identity;
        } else {
            sourceFolder = files::statusOf(source);
            if (sourceFolder.kind != EntryKind::Folder) {
                notBackedUp(source, SystemText(sourceFolder.kind == EntryKind::Missing ? ENOENT : ENOTDIR));
                return;
            }
        }
        // An incremental run looks at two files for each one it copies; held open, the
        // folders spare it walking both full paths every time. A target folder that opens
        // exists already and needs no mkdir.
        std::optional<files::OpenFolder> targetFolder;
        if (m_settings.incremental || dryRun())
            targetFolder.emplace(target, files::OpenFolder::Purpose::LookUp);
        bool created = false;
        if (dryRun() && !targetFolder->isOpen()) {
            // A folder the run would make: everything in it is new.
            if (!(listed && listed->unreadable)) {
                m_observer.previewEntry({PreviewEntry::Kind::Mkdir, source, target, 0, {}});
                ++m_result.preview.folders;
            }
            targetFolder.reset();
            created = true;
        } else if (!targetFolder || !targetFolder->isOpen()) {
            if (!makeTargetFolder(source, target, sourceFolder.mode, created))
                return;
            if (targetFolder)
                targetFolder.emplace(target, files::OpenFolder::Purpose::LookUp);
        }
        files::FileStatus targetStatus;
        if (created) {
            targetStatus.kind = EntryKind::Folder;
            targetStatus.mode = (sourceFolder.mode | S_IRWXU) & 0777 & ~m_umask;
        } else {
            targetStatus = targetFolder ? targetFolder->status() : files::statusOf(target);
            // The destination reached again through a mount: its files are their own copies.
            if (targetStatus.identity == sourceFolder.identity)
                return;
            // A folder a previous run made read-only must take this run's files first.
            if ((targetStatus.mode & S_IRWXU) != S_IRWXU && applyMode && !dryRun())
                ::chmod(target.c_str(), targetStatus.mode | S_IRWXU);
        }
        if (applyMode && !dryRun() && sourceFolder.mode != 0 && sourceFolder.mode != targetStatus.mode)
            m_folderModes.emplace_back(target, sourceFolder.mode);
        if (listed && listed->skip)
            return; // a pseudo file system's mount point: made, never read

        // A folder made just now holds no leftovers of an earlier, killed run. A folder
        // remembered from the scan may have gone since; that is told as the folder that
        // cannot be read, before its first copy, not as many failed files.
        FolderState state{created, listed == nullptr || !listed->files};
        struct CreatedFlag {
            bool& flag;
            ~CreatedFlag() { flag = false; }
        } createdFlag{m_targetFolderCreated};
        m_targetFolderCreated = created;
        const files::OpenFolder* lookup = targetFolder ? &*targetFolder : nullptr;
        const bool wantStatus = m_settings.incremental || dryRun();
        const auto handle = [&](const std::string& name, bool link, const files::FileStatus* status) {
            if (!m_exclusions.empty() &&
                leftOut(JoinName(source, name), rel + paths::kSeparator + name, false))
                return true;
            return copyEntry(source, target, name, link, lookup, status, state);
        };
        if (listed && listed->files) {
            if (shareCopies(created)) {
                copySharedFiles(source, target, rel, *listed->files, state);
                return;
            }
            for (const ScannedFile& file : *listed->files) {
                if (!handle(file.name, file.link, wantStatus ? &file.status : nullptr))
                    return;
            }
            return;
        }
        const files::OpenFolder sourceRead(source);
        std::vector<files::FolderEntry> entries;
        try {
            entries = sourceRead.entries();
        } catch (const std::system_error& error) {
            notBackedUp(source, error.code().message());
            return;
        }
        for (const files::FolderEntry& entry : entries) {
            if (!entry.link && entry.kind != EntryKind::File)
                continue;
            files::FileStatus status;
            if (wantStatus && !entry.link)
                status = sourceRead.entryStatus(entry.name);
            if (!handle(entry.name, entry.link, wantStatus ? &status : nullptr))
                return;
        }
    } catch (const std::exception& error) {
        showError(error.what());
    }
}

bool BackupEngine::copyEntry(const std::string& sourceFolder, const std::string& targetFolder,
                             const std::string& name, bool link, const files::OpenFolder* targetLookup,
                             const files::FileStatus* sourceStatus, FolderState& state)
{
    if (cancelled())
        return false;
    // A file found up to date needs nothing of its folder, not even that it is still there.
    if (!dryRun() && !link && m_settings.incremental && targetLookup && sourceStatus) {
        if (isUpToDate(targetLookup->entryStatus(name), *sourceStatus, timeGranularity()))
            return true;
    }
    if (!state.sourceSeen) {
        if (!files::isFolder(sourceFolder)) {
            notBackedUp(sourceFolder, SystemText(ENOENT));
            return false;
        }
        state.sourceSeen = true;
    }
    const std::string source = JoinName(sourceFolder, name);
    const std::string target = JoinName(targetFolder, name);
    if (dryRun()) {
        // A folder the run would make holds nothing yet.
        files::FileStatus targetStatus;
        if (targetLookup) {
            if (link) {
                struct stat info {};
                if (::fstatat(targetLookup->fd(), name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0)
                    targetStatus = files::statusFromStat(info);
            } else {
                targetStatus = targetLookup->entryStatus(name);
            }
        }
        previewFile(source, target, sourceStatus, targetStatus, link);
        return !cancelled();
    }
    if (!state.cleaned) {
        files::TemporaryFile::removeLeftovers(targetFolder);
        state.cleaned = true;
    }
    if (link)
        copyLink(source, target);
    else
        CopyOneFile(source, target);
    return !cancelled();
}

void BackupEngine::copyLink(const std::string& source, const std::string& target)
{
    tellCopyOutcome(source, target, m_copier.copyLink(source, target, m_settings.incremental), true);
}

bool BackupEngine::shareCopies(bool targetCreated) const
{
    // The helper is there only for a full copy that writes.
    return m_helper && (!m_keeper || targetCreated);
}

bool BackupEngine::copySharedFiles(const std::string& sourceFolder, const std::string& targetFolder,
                                   const std::string& rel, const std::vector<ScannedFile>& files,
                                   FolderState& state)
{
    const auto relative = [&rel](std::string_view name) {
        std::string path = rel + paths::kSeparator;
        path += name;
        return path;
    };
    for (std::size_t from = 0; from < files.size(); from += kSharedFiles) {
        std::vector<SharedFile> shared(std::min(kSharedFiles, files.size() - from));
        std::size_t first = shared.size(); // the first file to copy
        for (std::size_t i = 0; i < shared.size(); ++i) {
            const ScannedFile& file = files[from + i];
            shared[i].name = file.name;
            shared[i].link = file.link;
            shared[i].shared = m_exclusions.empty() || !m_exclusions.excludes(relative(file.name), false);
            if (shared[i].shared && first == shared.size())
                first = i;
        }
        // What copyEntry does before the first copy of a folder, done before any copy starts.
        if (first < shared.size() && (!state.sourceSeen || !state.cleaned)) {
            if (cancelled())
                return false;
            if (!state.sourceSeen && !files::isFolder(sourceFolder)) {
                for (std::size_t i = 0; i < first; ++i)
                    leftOut(JoinName(sourceFolder, shared[i].name), relative(shared[i].name), false);
                notBackedUp(sourceFolder, SystemText(ENOENT));
                return false;
            }
            state.sourceSeen = true;
            if (!state.cleaned)
                files::TemporaryFile::removeLeftovers(targetFolder);
            state.cleaned = true;
        }
        SharedFolderCopy copies(sourceFolder, targetFolder, shared, kSharedSizeLimit, m_cancelFlag);
        m_helper->share(copies);
        // Whatever ends the telling, the helper lets go of the files before they go.
        struct Released {
            SharedFolderCopy& copies;
            CopyHelper& helper;
            ~Released()
            {
                copies.stop();
                helper.release();
            }
        } released{copies, *m_helper};
        for (std::size_t i = 0; i < shared.size(); ++i) {
            if (shared[i].shared)
                tellSharedCopy(copies.await(i, m_copier));
            else
                leftOut(JoinName(sourceFolder, shared[i].name), relative(shared[i].name), false);
        }
        if (cancelled())
            return false;
    }
    return true;
}

void BackupEngine::tellSharedCopy(const SharedFile& file)
{
    if (file.error)
        std::rethrow_exception(file.error);
    if (file.skipped)
        return;
    const std::string& source = file.source;
    const std::string& target = file.target;
    if (file.outcome.status == CopyOutcome::Status::TooLarge) {
        // Left to this thread, which copies it now with live progress.
        if (!cancelled())
            CopyOneFile(source, target);
        return;
    }
    if (!file.link) {
        m_observer.copyingFile(source, target);
        for (const auto& [done, size] : file.progress)
            m_observer.copyProgress(source, done, size);
    }
    tellCopyOutcome(source, target, file.outcome, file.link);
}

void BackupEngine::tellCopyOutcome(const std::string& source, const std::string& target,
                                   const CopyOutcome& outcome, bool link)
{
    switch (outcome.status) {
    case CopyOutcome::Status::Copied:
        ++m_result.filesCopied;
        if (!link) {
            m_result.bytesCopied += outcome.bytes;
            m_observer.bytesCopied(m_result.bytesCopied);
        }
        m_observer.fileCopied(m_result.filesCopied);
        break;
    case CopyOutcome::Status::SourceFailed:
        notBackedUp(source, reasonOf(outcome));
        break;
    case CopyOutcome::Status::LinksRefused:
        notBackedUp(source, kLinksRefusedReason);
        break;
    case CopyOutcome::Status::DestinationFailed:
        // Both threads may have met a full disk: the run stopped with the first.
        if (!m_result.copyFailed)
            destinationFailed(source, FolderPartOf(target), outcome.error.message());
        break;
    case CopyOutcome::Status::Unchanged:
    case CopyOutcome::Status::SameFile:
    case CopyOutcome::Status::Cancelled:
    case CopyOutcome::Status::TooLarge:
        break;
    }
}

void BackupEngine::previewFile(const std::string& source, const std::string& target,
                               const files::FileStatus* sourceStatus, const files::FileStatus& targetStatus,
                               bool link)
{
    PreviewEntry entry{PreviewEntry::Kind::New, source, target, 0, {}};
    if (link) {
        // An incremental run leaves a link whose copy already points the same way.
        if (m_settings.incremental && targetStatus.kind != EntryKind::Missing) {
            char sourceText[PATH_MAX];
            char targetText[PATH_MAX];
            const ssize_t sourceLength = ::readlink(source.c_str(), sourceText, sizeof sourceText);
            const ssize_t targetLength = ::readlink(target.c_str(), targetText, sizeof targetText);
            if (sourceLength >= 0 && sourceLength == targetLength &&
                std::memcmp(sourceText, targetText, static_cast<std::size_t>(sourceLength)) == 0) {
                entry.kind = PreviewEntry::Kind::Same;
                ++m_result.preview.same;
                m_observer.previewEntry(entry);
                return;
            }
        }
        entry.kind = PreviewEntry::Kind::Link;
        ++m_result.preview.files;
        m_observer.previewEntry(entry);
        return;
    }
    const files::FileStatus source0 = sourceStatus ? *sourceStatus : files::statusOf(source);
    if (source0.kind != EntryKind::File) {
        // Gone or changed since the folder was read: the run would list it as not read.
        entry.kind = PreviewEntry::Kind::Unreadable;
        notBackedUp(source, source0.kind == EntryKind::Missing ? SystemText(ENOENT) : kChangedKindReason);
        return;
    }
    entry.size = static_cast<std::uint64_t>(source0.size);
    if (targetStatus.kind != EntryKind::File) {
        entry.kind = PreviewEntry::Kind::New;
    } else if (targetStatus.size != source0.size) {
        entry.kind = PreviewEntry::Kind::Size;
    } else if (!isUpToDate(targetStatus, source0, timeGranularity())) {
        entry.kind = PreviewEntry::Kind::Newer;
    } else if (m_settings.incremental) {
        entry.kind = PreviewEntry::Kind::Same;
        entry.size = 0;
        ++m_result.preview.same;
        m_observer.previewEntry(entry);
        return;
    } else {
        entry.kind = PreviewEntry::Kind::Replace;
    }
    ++m_result.preview.files;
    m_result.preview.bytes += entry.size;
    if (m_settings.countAllocated) {
        struct stat info {};
        if (::stat(source.c_str(), &info) == 0)
            m_result.preview.allocatedChange += static_cast<std::int64_t>(info.st_blocks) * 512;
        // A copy that differs is kept as a version when the set keeps any: it frees nothing.
        const bool keptAside = m_settings.keepVersions > 0 && entry.kind != PreviewEntry::Kind::Replace;
        if (targetStatus.kind == EntryKind::File && !keptAside && ::lstat(target.c_str(), &info) == 0)
            m_result.preview.allocatedChange -= static_cast<std::int64_t>(info.st_blocks) * 512;
    }
    m_observer.previewEntry(entry);
}

bool BackupEngine::leftOut(const std::string& path, std::string_view relative, bool folder)
{
    if (!m_exclusions.excludes(relative, folder))
        return false;
    ++m_result.excluded;
    if (dryRun())
        m_observer.previewEntry({PreviewEntry::Kind::Excluded, path, {}, 0, {}});
    return true;
}

void BackupEngine::previewMissing(const std::string& item)
{
    if (dryRun())
        m_observer.previewEntry({PreviewEntry::Kind::Missing, item, {}, 0, {}});
}

bool BackupEngine::makeTargetFolder(const std::string& source, const std::string& target, mode_t mode,
                                    bool& created)
{
    created = false;
    // Made writable for the copy whatever the source's bits; they follow once it is filled.
    const mode_t makeMode = (mode | S_IRWXU) & 0777;
    if (::mkdir(target.c_str(), makeMode) == 0) {
        created = true;
        return true;
    }
    int error = errno;
    struct stat info {};
    if (error == EEXIST && ::lstat(target.c_str(), &info) == 0) {
        if (S_ISDIR(info.st_mode))
            return true;
        // A link left where the source now has a real folder: following it would write
        // outside the backup. The link holds no data; the folder takes its place.
        if (S_ISLNK(info.st_mode)) {
            if (::unlink(target.c_str()) == 0 && ::mkdir(target.c_str(), makeMode) == 0) {
                created = true;
                return true;
            }
            error = errno;
        }
    }
    // The folder's files cannot go anywhere: stop now, naming the folder, rather than with
    // the first file copied into it (or never, for an empty one).
    destinationFailed(source, FolderPartOf(target), SystemText(error));
    return false;
}

void BackupEngine::applyFolderModes()
{
    // Deepest first, so that a read-only folder is closed only when all below it is done.
    for (auto it = m_folderModes.rbegin(); it != m_folderModes.rend(); ++it)
        ::chmod(it->first.c_str(), it->second);
    m_folderModes.clear();
}

void BackupEngine::FreeFolderList()
{
    m_folderList.reset();
    m_heldFolders.clear();
}

bool BackupEngine::isUpToDate(const files::FileStatus& target, const files::FileStatus& source,
                              std::int64_t granularity)
{
    if (target.kind != EntryKind::File || source.kind != EntryKind::File)
        return false;
    if (target.size != source.size)
        return false;
    // A target newer than its source is kept, as the user may have reasons for it.
    return truncated(source.modified, granularity) <= truncated(target.modified, granularity);
}

std::int64_t BackupEngine::ProbeTimeGranularity(const std::string& folder)
{
    std::error_code error;
    files::TemporaryFile probe = files::TemporaryFile::create(folder, 0600, error);
    if (error)
        return 1;
    // An odd second with every nanosecond digit set: whatever a file system drops of it
    // shows how fine its times are.
    constexpr timespec kWritten{1'000'000'001, 999'999'999};
    const timespec times[2] = {kWritten, kWritten};
    struct stat info {};
    if (::futimens(probe.fd(), times) != 0 || ::fstat(probe.fd(), &info) != 0)
        return 1;
    constexpr std::int64_t kSecond = 1'000'000'000;
    const std::int64_t written = kWritten.tv_sec * kSecond + kWritten.tv_nsec;
    const std::int64_t read = static_cast<std::int64_t>(info.st_mtim.tv_sec) * kSecond + info.st_mtim.tv_nsec;
    const std::int64_t lost = written > read ? written - read : read - written;
    constexpr std::array<std::int64_t, 11> kSteps = {
        1, 10, 100, 1'000, 10'000, 100'000, 1'000'000, 10'000'000, 100'000'000, kSecond, 2 * kSecond};
    for (const std::int64_t step : kSteps) {
        if (lost < step)
            return step;
    }
    return 2 * kSecond;
}

std::int64_t BackupEngine::GuessTimeGranularity(const std::string& folder)
{
    constexpr std::int64_t kSecond = 1'000'000'000;
    constexpr long kFat = 0x4d44;
    constexpr long kExFat = 0x2011BAB0;
    struct statfs info {};
    if (::statfs(folder.c_str(), &info) != 0)
        return 1;
    if (static_cast<long>(info.f_type) == kFat)
        return 2 * kSecond;
    if (static_cast<long>(info.f_type) == kExFat)
        return 10'000'000;
    return 1;
}

std::int64_t BackupEngine::timeGranularity()
{
    if (!m_granularity && dryRun())
        m_granularity = GuessTimeGranularity(m_dest.empty() ? std::string(1, paths::kSeparator) : m_dest);
    if (!m_granularity)
        m_granularity = ProbeTimeGranularity(m_dest.empty() ? std::string(1, paths::kSeparator) : m_dest);
    return *m_granularity;
}

bool BackupEngine::keepReplacedCopy(const std::string& source, const std::string& target,
                                    std::optional<std::string>& kept)
{
    struct stat existing {};
    if (::lstat(target.c_str(), &existing) != 0 || !S_ISREG(existing.st_mode))
        return true;
    struct stat original {};
    // A source that cannot be read is the copy's failure to tell; the old copy stays put.
    if (::stat(source.c_str(), &original) != 0)
        return true;
    if (existing.st_dev == original.st_dev && existing.st_ino == original.st_ino)
        return true;
    const std::int64_t granularity = timeGranularity();
    if (existing.st_size == original.st_size &&
        truncated(existing.st_mtim, granularity) == truncated(original.st_mtim, granularity))
        return true; // the same file: replaced without keeping it
    std::error_code error;
    kept = m_keeper->keep(target, error);
    if (kept)
        return true;
    destinationFailed(source, FolderPartOf(target),
                      "cannot keep the copy it replaces in " + m_versions->folder() + ": " + error.message());
    return false;
}

void BackupEngine::pruneVersions()
{
    std::string error;
    m_versions->prune(m_settings.keepVersions, m_settings.keepDays, std::time(nullptr), error);
    if (!error.empty())
        m_observer.showInformation(error);
}

void BackupEngine::CopyOneFile(const std::string& source, const std::string& target)
{
    std::optional<std::string> kept;
    if (m_keeper && !m_targetFolderCreated && !keepReplacedCopy(source, target, kept))
        return;
    m_observer.copyingFile(source, target);
    const CopyOutcome outcome =
        m_copier.copyFile(source, target, [&](std::uint64_t done, std::uint64_t size) {
            m_observer.copyProgress(source, done, size);
            return !cancelled();
        });
    if (kept && outcome.status != CopyOutcome::Status::Copied)
        VersionStore::Keeper::putBack(*kept, target);
    tellCopyOutcome(source, target, outcome, false);
}

void BackupEngine::notBackedUp(const std::string& path, const std::string& reason)
{
    if (dryRun())
        m_observer.previewEntry({PreviewEntry::Kind::Unreadable, path, {}, 0, reason});
    if (m_result.notBackedUp.size() < BackupResult::kMaxNotBackedUp)
        m_result.notBackedUp.push_back({path, reason});
    ++m_result.notBackedUpCount;
}

void BackupEngine::destinationFailed(const std::string& source, const std::string& targetFolder,
                                     const std::string& reason)
{
    m_result.copyFailed = true;
    m_result.failedFile = source;
    m_result.failureReason = reason;
    m_observer.showError(CopyFailureText(source, targetFolder, GetFreeSpace(targetFolder), reason));
    m_cancelFlag.store(true);
}

void BackupEngine::showError(const std::string& text)
{
    ++m_result.otherErrors;
    m_observer.showError(text);
}

BackupResult RunBackup(const BackupSettings& settings, const std::vector<std::string>& items,
                       BackupObserver& observer, std::atomic<bool>& cancelFlag)
{
    return BackupEngine(settings, observer, cancelFlag).RunBackup(items);
}

} // namespace stowmere::backup
