// SPDX-License-Identifier: GPL-3.0-or-later
#include "backup/CopySink.h"

#include "backup/BackupStartCheck.h"
#include "backup/FailureReport.h"
#include "backup/PathText.h"
#include "platform/Paths.h"
#include "platform/ScopeExit.h"
#include "platform/TemporaryFile.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <ctime>
#include <exception>
#include <sys/stat.h>
#include <system_error>
#include <thread>
#include <unistd.h>

namespace stowmere::backup {
namespace {

using files::CopyOutcome;

constexpr const char* kLinksRefusedReason = "links cannot be stored on this drive";
constexpr const char* kChangedKindReason = "it is no longer what it was when the folder was read";

std::string reasonOf(const CopyOutcome& outcome)
{
    return outcome.changedKind ? kChangedKindReason : outcome.error.message();
}

} // namespace

CopySink::CopySink(const BackupSettings& settings, std::string dest, RunLog& record,
                   std::atomic<bool>& cancelFlag, TimeGranularity& granularity)
    : m_settings(settings), m_dest(std::move(dest)), m_record(record), m_result(record.result()),
      m_observer(record.observer()), m_cancelFlag(cancelFlag), m_granularity(granularity),
      m_umask(files::processUmask())
{
    m_versions = std::make_unique<VersionStore>(m_dest);
    if (m_settings.keepVersions > 0)
        m_keeper = std::make_unique<VersionStore::Keeper>(*m_versions, std::time(nullptr));
    // Only a full copy that keeps no versions of what it replaces may copy on two threads.
    if (m_settings.parallelCopy && !m_settings.incremental && std::thread::hardware_concurrency() > 1) {
        try {
            m_helper = std::make_unique<CopyHelper>();
        } catch (const std::system_error&) {
            // No second thread to be had: this one copies everything, as on one core.
        }
    }
}

CopySink::~CopySink() = default;

std::string CopySink::destinationFolder() const
{
    return m_dest.empty() ? std::string(1, paths::kSeparator) : m_dest;
}

bool CopySink::start()
{
    try {
        const std::string lockFile = paths::join(destinationFolder(), BackupEngine::kRunLockName);
        m_runLock = files::FileLock::acquire(lockFile, std::chrono::milliseconds(0));
        if (m_runLock) {
            m_runLock->recordHolder(BackupEngine::kBackupHolder);
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

void CopySink::finish(bool wentThrough)
{
    // Old versions go only after a run that went through, and under its lock, so that
    // pruning never races another run into the same folder.
    if (wentThrough && !m_result.copyFailed) {
        std::string error;
        m_versions->prune(m_settings.keepVersions, m_settings.keepDays, std::time(nullptr), error);
        if (!error.empty())
            m_observer.showInformation(error);
    }
    m_runLock.reset();
}

void CopySink::notBackedUp(const std::string& path, const std::string& reason)
{
    m_record.notBackedUp(path, reason);
}

void CopySink::excluded(const std::string&)
{
    m_record.excluded();
}

void CopySink::missingItem(const std::string&) {}

void CopySink::failed(const std::string& text)
{
    m_record.showError(text);
}

void CopySink::foldersListed(std::size_t count)
{
    m_observer.foldersListed(count);
}

bool CopySink::makeFolder(const FolderFacts& folder, bool& created)
{
    created = false;
    const std::string& target = folder.target;
    // Made writable for the copy whatever the source's bits; they follow once it is filled.
    const mode_t makeMode = (folder.mode | S_IRWXU) & 0777;
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
    destinationFailed(folder.source, FolderPartOf(target), SystemText(error));
    return false;
}

void CopySink::folderReady(const FolderFacts& folder, const files::FileStatus* existing)
{
    m_folderNew = existing == nullptr;
    if (folder.keepsOwnMode)
        return;
    mode_t targetMode = (folder.mode | S_IRWXU) & 0777 & ~m_umask;
    if (existing) {
        targetMode = existing->mode;
        // A folder a previous run made read-only must take this run's files first.
        if ((existing->mode & S_IRWXU) != S_IRWXU)
            ::chmod(folder.target.c_str(), existing->mode | S_IRWXU);
    }
    if (folder.mode != 0 && folder.mode != targetMode)
        m_folderModes.emplace_back(folder.target, folder.mode);
}

void CopySink::beginEntries(const FolderFacts& folder, std::span<const ScannedFile> files,
                            const std::vector<bool>& leftOut)
{
    m_inFolder = true;
    // A folder made just now holds no leftovers of an earlier, killed run.
    m_cleaned = m_folderNew;
    // Copies that replace nothing need no keeping, so both threads may make them.
    m_sharing = m_helper && (!m_keeper || m_folderNew);
    m_sourceFolder = &folder.source;
    m_targetFolder = &folder.target;
    m_files = files;
    m_leftOut = &leftOut;
}

void CopySink::endEntries()
{
    const ScopeExit done([this] {
        dropStretch();
        m_inFolder = false;
        m_folderNew = false;
    });
    endStretch();
}

void CopySink::abandonEntries() noexcept
{
    dropStretch();
    m_inFolder = false;
    m_folderNew = false;
}

void CopySink::folderItemDone()
{
    m_folderNew = false;
    applyFolderModes();
}

bool CopySink::entry(const EntryFacts& entry)
{
    if (!m_inFolder) {
        // A file item, straight into the destination.
        if (!m_destCleaned) {
            files::TemporaryFile::removeLeftovers(entry.targetFolder);
            m_destCleaned = true;
        }
        copyFile(entry.source, entry.target);
        return !cancelled();
    }
    if (m_sharing)
        return copyShared(entry);
    if (!m_cleaned) {
        files::TemporaryFile::removeLeftovers(entry.targetFolder);
        m_cleaned = true;
    }
    if (entry.link)
        copyLink(entry.source, entry.target);
    else
        copyFile(entry.source, entry.target);
    return !cancelled();
}

bool CopySink::copyShared(const EntryFacts& entry)
{
    if (m_stretch && entry.index >= m_stretch->from + m_stretch->files.size()) {
        endStretch();
        dropStretch();
        if (cancelled())
            return false;
    }
    if (!m_stretch)
        startStretch(entry.index);
    SharedStretch& stretch = *m_stretch;
    const std::size_t at = entry.index - stretch.from;
    // Copies the other thread made before this one are told first, in the folder's order.
    for (; stretch.told < at; ++stretch.told) {
        if (stretch.files[stretch.told].shared)
            tellSharedCopy(stretch.copies.await(stretch.told, m_copier));
    }
    stretch.told = at + 1;
    tellSharedCopy(stretch.copies.await(at, m_copier));
    return !cancelled();
}

void CopySink::startStretch(std::size_t index)
{
    const std::size_t from = index - index % kSharedFiles;
    const std::size_t count = std::min(kSharedFiles, m_files.size() - from);
    if (!m_cleaned) {
        // Before any copy starts, as the other thread is about to write into the folder.
        files::TemporaryFile::removeLeftovers(*m_targetFolder);
        m_cleaned = true;
    }
    m_stretch = std::make_unique<SharedStretch>(from, count, *m_sourceFolder, *m_targetFolder, m_cancelFlag);
    for (std::size_t i = 0; i < count; ++i) {
        SharedFile& file = m_stretch->files[i];
        file.name = m_files[from + i].name;
        file.link = m_files[from + i].link;
        file.shared = m_leftOut->empty() || !(*m_leftOut)[from + i];
    }
    // Files before index in this stretch were left out: the walk told them.
    m_stretch->told = index - from;
    m_helper->share(m_stretch->copies);
}

void CopySink::endStretch()
{
    if (!m_stretch)
        return;
    SharedStretch& stretch = *m_stretch;
    // Whatever ends the folder, every copy made is told: the other thread may have made
    // copies the walk did not reach.
    for (; stretch.told < stretch.files.size(); ++stretch.told) {
        if (stretch.files[stretch.told].shared)
            tellSharedCopy(stretch.copies.await(stretch.told, m_copier));
    }
}

void CopySink::dropStretch() noexcept
{
    if (!m_stretch)
        return;
    // The helper lets go of the files before they go.
    m_stretch->copies.stop();
    m_helper->release();
    m_stretch.reset();
}

void CopySink::tellSharedCopy(const SharedFile& file)
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
            copyFile(source, target);
        return;
    }
    if (!file.link) {
        m_observer.copyingFile(source, target);
        for (const auto& [done, size] : file.progress)
            m_observer.copyProgress(source, done, size);
    }
    tellCopyOutcome(source, target, file.outcome, file.link);
}

void CopySink::tellCopyOutcome(const std::string& source, const std::string& target,
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

void CopySink::copyFile(const std::string& source, const std::string& target)
{
    std::optional<std::string> kept;
    if (m_keeper && !m_folderNew && !keepReplacedCopy(source, target, kept))
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

void CopySink::copyLink(const std::string& source, const std::string& target)
{
    tellCopyOutcome(source, target, m_copier.copyLink(source, target, m_settings.incremental), true);
}

bool CopySink::keepReplacedCopy(const std::string& source, const std::string& target,
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
    if (existing.st_size == original.st_size &&
        sameTime(existing.st_mtim, original.st_mtim, m_granularity.get()))
        return true; // the same file: replaced without keeping it
    std::error_code error;
    kept = m_keeper->keep(target, error);
    if (kept)
        return true;
    destinationFailed(source, FolderPartOf(target),
                      "cannot keep the copy it replaces in " + m_versions->folder() + ": " + error.message());
    return false;
}

void CopySink::applyFolderModes()
{
    // Deepest first, so that a read-only folder is closed only when all below it is done.
    for (auto it = m_folderModes.rbegin(); it != m_folderModes.rend(); ++it)
        ::chmod(it->first.c_str(), it->second);
    m_folderModes.clear();
}

void CopySink::destinationFailed(const std::string& source, const std::string& targetFolder,
                                 const std::string& reason)
{
    m_result.copyFailed = true;
    m_result.failedFile = source;
    m_result.failureReason = reason;
    m_observer.showError(CopyFailureText(source, targetFolder, GetFreeSpace(targetFolder), reason));
    m_cancelFlag.store(true);
}

} // namespace stowmere::backup
