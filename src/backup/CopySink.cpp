// SPDX-License-Identifier: GPL-3.0-or-later
#include "backup/CopySink.h"

#include "backup/BackupStartCheck.h"
#include "backup/FailureReport.h"
#include "backup/NodeRefusal.h"
#include "backup/OwnNames.h"
#include "backup/PathText.h"
#include "platform/FileNode.h"
#include "platform/Paths.h"
#include "platform/ScopeExit.h"

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

struct CopySink::Issued {
    std::string source;
    std::string target;
    std::string name;
    FolderHandle folder;
    bool link = false;
    bool folderNew = false; ///< its folder was made by this run: nothing in it is replaced
    WriteFact fact;
    /// The last progress the write told before its turn to be told came.
    std::optional<std::pair<std::uint64_t, std::uint64_t>> progress;
    bool live = false; ///< its turn has come: progress is told as it comes
    std::unique_ptr<PendingWrite> pending;
};

CopySink::CopySink(const BackupSettings& settings, Destination& destination, RunLog& record,
                   std::atomic<bool>& cancelFlag, TimeGranularity& granularity)
    : m_settings(settings), m_dest(destination.location()), m_record(record), m_result(record.result()),
      m_observer(record.observer()), m_cancelFlag(cancelFlag), m_granularity(granularity),
      m_destination(destination)
{
}

CopySink::~CopySink() = default;

bool CopySink::start()
{
    std::error_code error;
    switch (m_destination.takeRunLock(BackupEngine::kBackupHolder, error)) {
    case RunLockResult::Taken:
    case RunLockResult::Unsupported:
        // A file system without locks (some network shares) cannot keep two runs apart;
        // the run goes on as it did before there were locks.
        break;
    case RunLockResult::Busy:
        m_result.refusal = destinationBusyText(m_settings.destination, m_destination.runLockHolder());
        m_result.refused = true;
        return false;
    case RunLockResult::Failed:
        // A folder that cannot take an empty lock file cannot take the backup either.
        m_result.refusal = "Cannot open the lock file " + m_destination.pathOf(BackupEngine::kRunLockName) +
                           ": " + error.message();
        m_result.refused = true;
        return false;
    }
    if (std::string note = m_destination.runLockTakeOver(); !note.empty()) {
        m_observer.showInformation(note);
        m_result.notes.push_back(std::move(note));
    }
    // Under the lock, before any writer: what a killed run left goes, and every copy of this
    // run is written there first.
    if (const std::error_code error = m_destination.prepareTemporaries()) {
        m_result.refusal = "Cannot make the folder for copies under way " +
                           m_destination.pathOf(kTemporariesFolderName) + ": " + error.message();
        m_result.refused = true;
        m_destination.releaseRunLock();
        return false;
    }
    m_writer = m_destination.writer();
    m_writesAhead = m_destination.writesAhead();
    if (m_writesAhead > 0)
        m_aheadWriter = m_destination.writer();
    m_versions = std::make_unique<VersionStore>(m_destination);
    m_manifest = std::make_unique<ManifestKeeper>(m_destination, &m_cancelFlag);
    tellManifestNotes();
    m_runStart = std::time(nullptr);
    m_runRecord = std::make_unique<RunRecord>(m_destination, m_runStart);
    if (m_settings.keepVersions > 0)
        m_keeper = std::make_unique<VersionStore::Keeper>(*m_versions, m_runStart, m_runRecord.get());
    // Only a full copy that keeps no versions of what it replaces may copy on several threads.
    if (const unsigned helpers = m_destination.helperWriters();
        m_settings.parallelCopy && !m_settings.incremental && helpers > 0) {
        std::vector<std::unique_ptr<DestinationWriter>> writers;
        for (unsigned i = 0; i < helpers; ++i)
            writers.push_back(m_destination.writer());
        try {
            m_helper = std::make_unique<CopyHelper>(std::move(writers));
        } catch (const std::system_error&) {
            // No other thread to be had: this one copies everything, as on one core.
        }
    }
    return true;
}

void CopySink::finish(bool wentThrough)
{
    if (!m_writer)
        return;
    tellIssued();
    // A run folder that received nothing takes no place among those kept.
    if (m_keeper)
        m_keeper->finish();
    if (m_removalKeeper)
        m_removalKeeper->finish();
    if (m_runRecord) {
        // Only a run that went through is complete; a cancelled one's facts stand as written.
        if (wentThrough && !m_result.copyFailed && !cancelled())
            m_runRecord->finish();
        m_runRecord->flush();
        if (!m_runRecord->failure().empty()) {
            m_observer.showInformation(m_runRecord->failure());
            m_result.notes.push_back(m_runRecord->failure());
        }
    }
    // Old versions go only after a run that went through, and under its lock, so that
    // pruning never races another run into the same folder.
    if (wentThrough && !m_result.copyFailed) {
        std::string error;
        // A mirrored run keeps at least the newest run folder: what it moved there is
        // never deleted by the run that moved it.
        VersionStore::KeepRules rules;
        rules.versions =
            m_settings.mirror ? std::max<std::int32_t>(m_settings.keepVersions, 1) : m_settings.keepVersions;
        rules.days = m_settings.keepDays;
        rules.daily = m_settings.keepDaily;
        rules.weekly = m_settings.keepWeekly;
        rules.monthly = m_settings.keepMonthly;
        m_versions->prune(rules, std::time(nullptr), error, &m_cancelFlag);
        if (!error.empty())
            m_observer.showInformation(error);
        // Cancelled while old versions went: every copy is made, the rest go next time.
        if (cancelled() && !m_result.copyFailed)
            m_result.cancelled = true;
    }
    if (m_manifest) {
        // Housekeeping, not news: kept in the run's history rather than told.
        if (const std::uint64_t recorded = m_manifest->recordUpToDate(); recorded > 0)
            m_result.notes.push_back(std::to_string(recorded) +
                                     (recorded == 1
                                          ? " copy found up to date had no record in the manifest: it is"
                                          : " copies found up to date had no record in the manifest: "
                                            "they are") +
                                     " hashed and recorded now.");
        m_manifest->flush();
        tellManifestNotes();
        m_result.healed = m_manifest->healed();
        if (m_result.healed > 0)
            m_observer.showInformation(std::to_string(m_result.healed) +
                                       (m_result.healed == 1
                                            ? " copy that verification had found damaged or missing was"
                                            : " copies that verification had found damaged or missing were") +
                                       " copied again.");
    }
    m_destination.releaseTemporaries();
    m_destination.releaseRunLock();
    for (std::string& line : notKeptLines(m_lost, m_destination.pathOf(std::string_view())))
        m_result.notKept.push_back(std::move(line));
    if (m_hardLinksLost)
        m_result.notKept.push_back("Hard links: " + m_destination.pathOf(std::string_view()) +
                                   " cannot give one file several names; each name was copied as a file "
                                   "of its own");
}

void CopySink::noteLoss(const files::MetadataLoss& loss)
{
    if (loss.any())
        m_lost.add(loss);
}

void CopySink::tellManifestNotes()
{
    const std::vector<std::string>& notes = m_manifest->notes();
    for (; m_manifestNotesTold < notes.size(); ++m_manifestNotesTold)
        m_observer.showInformation(notes[m_manifestNotesTold]);
}

void CopySink::upToDate(std::string_view folder, std::string_view name)
{
    if (!m_manifest)
        return;
    if (folder.empty()) {
        m_manifest->noteUpToDate(name);
        return;
    }
    std::string relative;
    relative.reserve(folder.size() + 1 + name.size());
    relative.append(folder).append(1, '/').append(name);
    m_manifest->noteUpToDate(relative);
}

void CopySink::recordCopy(const std::string& source, const std::string& target, const CopyOutcome& outcome,
                          const FolderHandle& copyFolder)
{
    const FolderHandle folder = copyFolder ? copyFolder : targetFolder(source, paths::parentFolder(target));
    if (!folder)
        return;
    // A local copy's writer tells the time it gave the copy; where the file system keeps
    // times exactly, that is the time it has, and the record needs no look at it. A
    // writer that read the time back tells the time the copy has.
    const bool exactTime = outcome.modified.tv_sec != 0 && (outcome.modifiedKept || m_granularity.get() == 1);
    if (outcome.digest)
        m_manifest->recordCopy(folder, paths::fileNamePart(target), ContentHash{*outcome.digest},
                               outcome.digested, exactTime ? &outcome.modified : nullptr);
    else
        m_manifest->recordCopy(folder, paths::fileNamePart(target));
}

std::string CopySink::relativeOf(const std::string& path) const
{
    std::string_view rest(path);
    rest.remove_prefix(std::min(m_dest.size(), rest.size()));
    while (!rest.empty() && rest.front() == paths::kSeparator)
        rest.remove_prefix(1);
    while (!rest.empty() && rest.back() == paths::kSeparator)
        rest.remove_suffix(1);
    return std::string(rest);
}

FolderHandle CopySink::targetFolder(const std::string& source, const std::string& path)
{
    if (m_target && path == m_targetPath)
        return m_target;
    std::error_code error;
    FolderHandle folder = m_destination.openFolder(relativeOf(path), error);
    if (!folder) {
        if (folderNotMade(source, path))
            return nullptr;
        // A link where a folder of the copy was: nothing is written through it.
        destinationFailed(source, paths::withTrailingSeparator(path), systemText(error.value()));
        return nullptr;
    }
    m_targetPath = path;
    m_target = folder;
    return folder;
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
    const std::string relative = relativeOf(target);
    if (relative.empty())
        return static_cast<bool>(targetFolder(folder.source, target));
    // Made writable for the copy whatever the source's bits; they follow once it is filled.
    const mode_t makeMode = (folder.mode | S_IRWXU) & 0777;
    const std::size_t slash = relative.rfind(paths::kSeparator);
    std::error_code error;
    const FolderHandle parent =
        slash == std::string::npos
            ? m_destination.root()
            : m_destination.openFolder(std::string_view(relative).substr(0, slash), error);
    // A file or link left where the source now has a folder gives way to it, whole into the
    // versions when the run keeps any: a link is never followed, it would lead outside the
    // backup.
    FolderHandle made;
    const std::string name = relative.substr(slash + 1);
    if (parent) {
        // A folder this walk made holds only what the walk put there since: its files,
        // whose names are not those of its folders.
        const bool parentNew =
            slash != std::string::npos && m_madeInItem.count(relative.substr(0, slash)) > 0;
        const DestinationKind there =
            parentNew ? DestinationKind::Missing : m_destination.status(parent, name).kind;
        if (there != DestinationKind::Missing && there != DestinationKind::Folder)
            error = setAside(parent, name, relative);
        if (!error)
            made = m_destination.makeFolder(parent, name, makeMode, created, error);
    }
    if (made && created)
        m_madeInItem.try_emplace(relative, folder.source, target);
    if (made) {
        // Below a folder a kept run can tell apart from what it holds, every new folder
        // is recorded: a moment before this run had none of it.
        if (created && m_keeper)
            m_runRecord->added(relative);
        m_targetPath = target;
        m_target = std::move(made);
        // A folder made changes the time of the one that holds it.
        if (created && slash != std::string::npos)
            finishLater(paths::parentFolder(folder.source), paths::parentFolder(target));
        return true;
    }
    // The folder's files cannot go anywhere: stop now, naming the folder, rather than with
    // the first file copied into it (or never, for an empty one).
    if (folderNotMade(folder.source, paths::parentFolder(target)))
        return false;
    destinationFailed(folder.source, folderPartOf(target), systemText(error.value()));
    return false;
}

void CopySink::folderReady(const FolderFacts& folder, const files::FileStatus* existing)
{
    m_folderNew = existing == nullptr;
    if (folder.copy) {
        // The walk holds the folder open already.
        m_targetPath = folder.target;
        m_target = folder.copy;
    }
    m_untouched.reset();
    // The destination itself keeps its own bits, owner and times.
    if (folder.keepsOwnMode)
        return;
    if (!existing) {
        finishLater(folder.source, folder.target);
        return;
    }
    bool differs = folder.mode != 0 && folder.mode != existing->mode;
    // A folder a previous run made read-only must take this run's files first.
    if ((existing->mode & S_IRWXU) != S_IRWXU) {
        if (const FolderHandle target = targetFolder(folder.source, folder.target))
            m_destination.setMode(target, existing->mode | S_IRWXU);
        differs = true;
    }
    if (!differs) {
        struct stat source {};
        differs = ::stat(folder.source.c_str(), &source) == 0 &&
                  !sameTime(existing->modified, source.st_mtim, m_granularity.get());
    }
    if (differs)
        finishLater(folder.source, folder.target);
    else
        m_untouched.emplace(folder.source, folder.target);
}

void CopySink::finishLater(const std::string& source, const std::string& target)
{
    if (relativeOf(target).empty() || !m_finishing.insert(target).second)
        return;
    m_folderFinish.emplace_back(source, target);
}

void CopySink::folderTouched()
{
    if (!m_untouched)
        return;
    finishLater(m_untouched->first, m_untouched->second);
    m_untouched.reset();
}

void CopySink::beginEntries(const FolderFacts& folder, std::span<const ScannedFile> files,
                            const std::vector<bool>& leftOut)
{
    m_inFolder = true;
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
    // The folder's records go out together: one write for a folder of small files.
    if (m_manifest)
        m_manifest->flush();
    if (m_runRecord)
        m_runRecord->flush();
}

void CopySink::abandonEntries() noexcept
{
    try {
        tellIssued();
    } catch (...) {
        // The walk is failing already: what could not be told is copied again next time.
        m_issued.clear();
    }
    dropStretch();
    m_inFolder = false;
    m_folderNew = false;
}

void CopySink::folderItemDone()
{
    // The folders' times and bits go once every copy into them is in place.
    tellIssued();
    // Names of one file are kept together within an item only.
    m_hardLinks.clear();
    m_folderNew = false;
    m_untouched.reset();
    finishFolders();
}

bool CopySink::entry(const EntryFacts& entry)
{
    const bool plain = entry.special() == 0 && (!entry.multiLinked() || !m_destination.holdsHardLinks());
    if (!plain || !m_inFolder)
        tellIssued();
    if (entry.special() != 0) {
        if (entry.verdict != Verdict::Same) {
            tellSharedBefore(entry);
            copySpecial(entry);
        }
        return !cancelled();
    }
    if (entry.multiLinked()) {
        if (m_destination.holdsHardLinks()) {
            tellSharedBefore(entry);
            copyMultiLinked(entry);
            return !cancelled();
        }
        m_hardLinksLost = true;
    }
    // Up to date, yet verification found the copy damaged or missing: it is made again.
    if (entry.verdict == Verdict::Same && entry.link)
        return !cancelled();
    if (entry.verdict == Verdict::Same) {
        if (const std::string relative = relativeOf(entry.target); !m_manifest->isMarked(relative)) {
            m_manifest->noteUpToDate(relative);
            return !cancelled();
        }
    }
    if (!m_inFolder) {
        // A file item, straight into the destination.
        copyFile(entry.source, entry.target);
        return !cancelled();
    }
    // An incremental run leaves a link that still points the same way untouched, and its
    // folder with it: the folder is touched by the link's outcome once it is written.
    if (!(entry.link && m_settings.incremental))
        folderTouched();
    if (m_sharing)
        return copyShared(entry);
    if (m_aheadWriter) {
        issue(entry.source, entry.target, entry.link);
        return !cancelled();
    }
    if (entry.link)
        copyLink(entry.source, entry.target);
    else
        copyFile(entry.source, entry.target);
    return !cancelled();
}

void CopySink::tellSharedBefore(const EntryFacts& entry)
{
    if (m_sharing && m_helper) {
        // Written by this thread, in the folder's order: the other thread's copies before it
        // are told first.
        if (m_stretch && entry.index >= m_stretch->from + m_stretch->files.size()) {
            endStretch();
            dropStretch();
        }
        if (!m_stretch)
            startStretch(entry.index);
        if (m_stretch) {
            SharedStretch& stretch = *m_stretch;
            const std::size_t at = entry.index - stretch.from;
            for (; stretch.told < at; ++stretch.told) {
                if (stretch.files[stretch.told].shared)
                    tellSharedCopy(stretch.copies.await(stretch.told, *m_writer));
            }
            stretch.told = at + 1;
        }
    }
}

VersionPlaceMaker CopySink::keeperFor(const FolderHandle& folder, const std::string& name,
                                      const std::string& relative, DestinationKind kind)
{
    if (!m_keeper || m_folderNew)
        return {};
    m_writeFact = {relative, true};
    return [this, folder, name, relative, kind](std::error_code& error) {
        error.clear();
        const DestinationKind there = m_destination.status(folder, name).kind;
        return keepForRecord(relative, there, kind, error);
    };
}

void CopySink::copySpecial(const EntryFacts& entry)
{
    const mode_t format = entry.special();
    if (const std::optional<std::string> refusal = specialRefusal(format, m_destination)) {
        notBackedUp(entry.source, *refusal);
        return;
    }
    const FolderHandle folder = targetFolder(entry.source, entry.targetFolder);
    if (!folder)
        return;
    SpecialRequest request;
    request.folder = folder;
    request.name = paths::fileNamePart(entry.target);
    // Looked at, never opened: a FIFO would block the run.
    if (!files::readMetadata(entry.source, request.metadata, request.source) && request.source.st_mode == 0) {
        notBackedUp(entry.source, systemText(errno));
        return;
    }
    if ((request.source.st_mode & S_IFMT) != format) {
        notBackedUp(entry.source, kChangedKindReason);
        return;
    }
    const std::string relative = relativeOf(entry.target);
    request.keepReplaced = keeperFor(folder, request.name, relative, DestinationKind::Other);
    folderTouched();
    CopyOutcome outcome = m_destination.makeSpecial(request);
    recordWrite(outcome);
    if (outcome.status == CopyOutcome::Status::DestinationFailed && !outcome.keepFailed && !m_folderNew &&
        inTheWay(folder, request.name)) {
        // A folder where the copy goes: it goes aside whole, as for a file.
        if (const std::error_code error = setAside(folder, request.name, relative)) {
            outcome.error = error;
            outcome.keepFailed = m_keeper != nullptr;
        } else {
            m_writeFact = {relative, m_keeper != nullptr, true};
            outcome = m_destination.makeSpecial(request);
            recordWrite(outcome);
        }
    }
    if (outcome.keepFailed) {
        destinationFailed(entry.source, folderPartOf(entry.target),
                          "cannot keep the copy it replaces in " + m_versions->folder() + ": " +
                              outcome.error.message());
        return;
    }
    if (outcome.status == CopyOutcome::Status::DestinationFailed && files::isDeviceFormat(format) &&
        (outcome.error == std::errc::operation_not_permitted ||
         outcome.error == std::errc::permission_denied)) {
        // Refused where devices cannot be made (a user namespace, a mount without devices).
        notBackedUp(entry.source, std::string("it is a ") + files::specialKindWord(format) +
                                      ", and the system refused to make one: " + outcome.error.message());
        return;
    }
    tellCopyOutcome(entry.source, entry.target, outcome, true);
}

void CopySink::copyMultiLinked(const EntryFacts& entry)
{
    const files::FileStatus& source = entry.scanned->status;
    if (const HardLinkMap::Copy* first = m_hardLinks.copyOf(source.identity)) {
        const HardLinkMap::Copy firstCopy = *first;
        m_hardLinks.met(source.identity);
        if (linkToCopy(firstCopy, entry))
            return;
        folderTouched();
        copyFile(entry.source, entry.target);
        return;
    }
    // The first name met: its copy is the one the others share, made now unless it is up to
    // date already.
    const std::string relative = relativeOf(entry.target);
    if (entry.verdict == Verdict::Same && !m_manifest->isMarked(relative)) {
        m_hardLinks.remember(source.identity, source.links, relative, entry.targetStatus.identity);
        m_manifest->noteUpToDate(relative);
        return;
    }
    folderTouched();
    if (copyFile(entry.source, entry.target))
        m_hardLinks.remember(source.identity, source.links, relative);
}

bool CopySink::linkToCopy(const HardLinkMap::Copy& firstCopy, const EntryFacts& entry)
{
    const std::string& first = firstCopy.path;
    const FolderHandle folder = targetFolder(entry.source, entry.targetFolder);
    if (!folder)
        return true;
    const std::size_t slash = first.rfind(paths::kSeparator);
    std::error_code error;
    const FolderHandle firstFolder =
        slash == std::string::npos ? m_destination.root()
        : std::string_view(first).substr(0, slash) == folder->relative()
            ? folder
            : m_destination.openFolder(std::string_view(first).substr(0, slash), error);
    if (!firstFolder)
        return false;
    const std::string firstName = slash == std::string::npos ? first : first.substr(slash + 1);
    const std::string name = paths::fileNamePart(entry.target);
    // Already a name of that copy: an incremental run over unchanged links writes nothing.
    // What the walk saw of both copies serves, when it looked: a run over a tree of many
    // linked files then costs no look-up more than one without.
    const files::FileStatus there = entry.targetStatus.kind != files::EntryKind::Missing
                                        ? entry.targetStatus
                                        : statusOf(m_destination.status(folder, name));
    if (there.kind == files::EntryKind::File && !there.link && there.links > 1 &&
        there.identity == (firstCopy.identity.inode != 0
                               ? firstCopy.identity
                               : m_destination.status(firstFolder, firstName).identity)) {
        if (entry.verdict == Verdict::Same)
            m_manifest->noteUpToDate(relativeOf(entry.target));
        return true;
    }
    const std::string relative = relativeOf(entry.target);
    folderTouched();
    CopyOutcome outcome = m_destination.makeHardLink(
        firstFolder, firstName, folder, name, keeperFor(folder, name, relative, DestinationKind::File));
    recordWrite(outcome);
    if (outcome.status == CopyOutcome::Status::DestinationFailed && !outcome.keepFailed && !m_folderNew &&
        inTheWay(folder, name)) {
        if (const std::error_code aside = setAside(folder, name, relative)) {
            outcome.error = aside;
            outcome.keepFailed = m_keeper != nullptr;
        } else {
            outcome = m_destination.makeHardLink(firstFolder, firstName, folder, name, {});
        }
    }
    switch (outcome.status) {
    case CopyOutcome::Status::LinksRefused:
        // Another file system below the destination, or one without hard links.
        m_hardLinksLost = true;
        return false;
    case CopyOutcome::Status::SourceFailed:
        return false; // the first copy is gone since: this name is copied instead
    case CopyOutcome::Status::DestinationFailed:
        if (outcome.keepFailed) {
            destinationFailed(entry.source, folderPartOf(entry.target),
                              "cannot keep the copy it replaces in " + m_versions->folder() + ": " +
                                  outcome.error.message());
            return true;
        }
        break;
    default:
        break;
    }
    tellCopyOutcome(entry.source, entry.target, outcome, true);
    return true;
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
            tellSharedCopy(stretch.copies.await(stretch.told, *m_writer));
    }
    stretch.told = at + 1;
    tellSharedCopy(stretch.copies.await(at, *m_writer));
    return !cancelled();
}

void CopySink::startStretch(std::size_t index)
{
    const std::size_t from = index - index % kSharedFiles;
    const std::size_t count = std::min(kSharedFiles, m_files.size() - from);
    const FolderHandle target = targetFolder(*m_sourceFolder, *m_targetFolder);
    if (!target)
        return;
    m_stretch =
        std::make_unique<SharedStretch>(from, count, *m_sourceFolder, *m_targetFolder, target, m_cancelFlag);
    const bool linksHere = m_destination.holdsHardLinks();
    for (std::size_t i = 0; i < count; ++i) {
        SharedFile& file = m_stretch->files[i];
        file.name = m_files[from + i].name;
        file.link = m_files[from + i].link;
        // Special files, and files of several names where they become links, are this
        // thread's alone.
        const ScannedFile& scanned = m_files[from + i];
        file.shared = (m_leftOut->empty() || !(*m_leftOut)[from + i]) && scanned.special == 0 &&
                      (scanned.link || scanned.status.links < 2 || !linksHere);
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
            tellSharedCopy(stretch.copies.await(stretch.told, *m_writer));
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
    const std::string& source = file.source;
    const std::string& target = file.target;
    if (file.skipped) {
        // The threads stop taking files at the first copy that fails. Where that failure
        // was only something in a copy's way, set aside since, the run goes on, and the
        // files they left are this thread's to copy: none may go missing untold.
        if (!cancelled() && !m_result.copyFailed && !source.empty()) {
            if (file.link)
                copyLink(source, target);
            else
                copyFile(source, target);
        }
        return;
    }
    if (file.outcome.status == CopyOutcome::Status::TooLarge) {
        // Left to this thread, which copies it now with live progress.
        if (!cancelled())
            copyFile(source, target);
        return;
    }
    if (file.outcome.status == CopyOutcome::Status::DestinationFailed && !cancelled() && m_stretch &&
        inTheWay(m_stretch->target, paths::fileNamePart(target))) {
        // This thread sets aside what stands in the copy's way, and copies it.
        if (file.link)
            copyLink(source, target);
        else
            copyFile(source, target);
        return;
    }
    if (file.outcome.status == CopyOutcome::Status::Copied && !file.link &&
        m_granularity.get() >= kCoarseTimes && !m_destination.writerKeepsTimes()) {
        if (const FolderHandle folder = targetFolder(source, paths::parentFolder(target)))
            setTimesAgain(source, folder, paths::fileNamePart(target));
    }
    if (!file.link) {
        m_observer.copyingFile(source, target);
        for (const auto& [done, size] : file.progress)
            m_observer.copyProgress(source, done, size);
    }
    tellCopyOutcome(source, target, file.outcome, file.link);
}

void CopySink::tellCopyOutcome(const std::string& source, const std::string& target,
                               const CopyOutcome& outcome, bool link, const FolderHandle& folder)
{
    if (link && outcome.status != CopyOutcome::Status::Unchanged)
        finishLater(paths::parentFolder(source), paths::parentFolder(target));
    switch (outcome.status) {
    case CopyOutcome::Status::Copied:
        noteLoss(outcome.lost);
        ++m_result.filesCopied;
        if (!link) {
            recordCopy(source, target, outcome, folder);
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
        if (!m_result.copyFailed && !folderNotMade(source, paths::parentFolder(target)))
            destinationFailed(source, folderPartOf(target), outcome.error.message());
        break;
    case CopyOutcome::Status::Unchanged:
    case CopyOutcome::Status::SameFile:
    case CopyOutcome::Status::Cancelled:
    case CopyOutcome::Status::TooLarge:
        break;
    }
}

bool CopySink::copyFile(const std::string& source, const std::string& target)
{
    const FolderHandle folder = targetFolder(source, paths::parentFolder(target));
    if (!folder)
        return false;
    m_observer.copyingFile(source, target);
    const CopyOutcome outcome = write(source, target, folder, false);
    if (outcome.keepFailed) {
        destinationFailed(source, folderPartOf(target),
                          "cannot keep the copy it replaces in " + m_versions->folder() + ": " +
                              outcome.error.message());
        return false;
    }
    tellCopyOutcome(source, target, outcome, false);
    return outcome.status == CopyOutcome::Status::Copied || outcome.status == CopyOutcome::Status::SameFile;
}

void CopySink::copyLink(const std::string& source, const std::string& target)
{
    const FolderHandle folder = targetFolder(source, paths::parentFolder(target));
    if (!folder)
        return;
    const CopyOutcome outcome = write(source, target, folder, true);
    if (outcome.keepFailed) {
        destinationFailed(source, folderPartOf(target),
                          "cannot keep the copy it replaces in " + m_versions->folder() + ": " +
                              outcome.error.message());
        return;
    }
    tellCopyOutcome(source, target, outcome, true);
}

CopyOutcome CopySink::write(const std::string& source, const std::string& target, const FolderHandle& folder,
                            bool link)
{
    const std::string name = paths::fileNamePart(target);
    const auto request = [&] {
        WriteRequest request;
        request.folder = folder;
        request.name = name;
        request.source = source;
        request.link = link;
        request.onlyWhenDifferent = link && m_settings.incremental;
        request.digest = !link;
        if (!link) {
            request.progress = [&](std::uint64_t done, std::uint64_t size) {
                m_observer.copyProgress(source, done, size);
                return !cancelled();
            };
        }
        // The old copy moves into the versions only once the new one is complete, so the
        // path holds a complete copy at every instant, whatever ends the run. What stands
        // there is looked at only then: most copies replace nothing.
        if (m_keeper && !m_folderNew) {
            request.keepReplaced = [this, &source, &folder, &name, link,
                                    relative = relativeOf(target)](std::error_code& error) {
                error.clear();
                DestinationKind there = DestinationKind::Missing;
                if (!keepsReplacedCopy(source, folder, name, link, &there)) {
                    m_writeFact.standing = there != DestinationKind::Missing;
                    return std::optional<VersionPlace>();
                }
                return keepForRecord(relative, there, link ? DestinationKind::Link : DestinationKind::File,
                                     error);
            };
        }
        return request;
    };
    m_writeFact = {relativeOf(target), m_keeper && !m_folderNew};
    CopyOutcome outcome = m_writer->write(request());
    recordWrite(outcome);
    if (outcome.status == CopyOutcome::Status::Copied && !link && m_granularity.get() >= kCoarseTimes &&
        !m_destination.writerKeepsTimes())
        setTimesAgain(source, folder, name);
    if (outcome.status != CopyOutcome::Status::DestinationFailed || outcome.keepFailed || m_folderNew)
        return outcome;
    // A folder (or a device, a pipe) where the copy goes: the source changed its kind since
    // the last run. It goes aside whole, and the copy is made once more.
    const DestinationEntry there = m_destination.status(folder, name);
    if (there.kind != DestinationKind::Folder && there.kind != DestinationKind::Other)
        return outcome;
    if (const std::error_code error = setAside(folder, name, relativeOf(target))) {
        outcome.error = error;
        outcome.keepFailed = m_keeper != nullptr;
        return outcome;
    }
    m_writeFact = {relativeOf(target), m_keeper != nullptr, true};
    outcome = m_writer->write(request());
    recordWrite(outcome);
    return outcome;
}

void CopySink::issue(const std::string& source, const std::string& target, bool link)
{
    const FolderHandle folder = targetFolder(source, paths::parentFolder(target));
    if (!folder)
        return;
    auto issued = std::make_unique<Issued>();
    issued->source = source;
    issued->target = target;
    issued->name = paths::fileNamePart(target);
    issued->folder = folder;
    issued->link = link;
    issued->folderNew = m_folderNew;
    issued->fact = {relativeOf(target), m_keeper && !m_folderNew};
    issued->pending = m_aheadWriter->start(issuedRequest(*issued));
    m_issued.push_back(std::move(issued));
    while (m_issued.size() > m_writesAhead)
        tellOldestIssued();
}

WriteRequest CopySink::issuedRequest(Issued& issued)
{
    WriteRequest request;
    request.folder = issued.folder;
    request.name = issued.name;
    request.source = issued.source;
    request.link = issued.link;
    request.onlyWhenDifferent = issued.link && m_settings.incremental;
    request.digest = !issued.link;
    if (!issued.link) {
        // Told as it comes once the copy's turn has come; until then only the last is kept,
        // to be told as the copy is.
        request.progress = [this, &issued](std::uint64_t done, std::uint64_t size) {
            if (issued.live)
                m_observer.copyProgress(issued.source, done, size);
            else
                issued.progress.emplace(done, size);
            return !cancelled();
        };
    }
    // As for a copy written in turn: the old copy moves into the versions only once the new
    // one is complete, and what stands there is looked at only then.
    if (m_keeper && !issued.folderNew) {
        request.keepReplaced = [this, &issued](std::error_code& error) {
            error.clear();
            DestinationKind there = DestinationKind::Missing;
            if (!keepsReplacedCopy(issued.source, issued.folder, issued.name, issued.link, &there)) {
                issued.fact.standing = there != DestinationKind::Missing;
                return std::optional<VersionPlace>();
            }
            return keepForRecord(issued.fact, there,
                                 issued.link ? DestinationKind::Link : DestinationKind::File, error);
        };
    }
    return request;
}

void CopySink::tellOldestIssued()
{
    const std::unique_ptr<Issued> issued = std::move(m_issued.front());
    m_issued.pop_front();
    const std::string& source = issued->source;
    const std::string& target = issued->target;
    if (!issued->link) {
        m_observer.copyingFile(source, target);
        if (issued->progress)
            m_observer.copyProgress(source, issued->progress->first, issued->progress->second);
    }
    issued->live = true;
    CopyOutcome outcome = m_aheadWriter->collect(std::move(issued->pending));
    recordWrite(issued->fact, outcome);
    if (outcome.status == CopyOutcome::Status::Copied && !issued->link &&
        m_granularity.get() >= kCoarseTimes && !m_destination.writerKeepsTimes())
        setTimesAgain(source, issued->folder, issued->name);
    if (outcome.status == CopyOutcome::Status::DestinationFailed && !outcome.keepFailed &&
        !issued->folderNew && !cancelled() && inTheWay(issued->folder, issued->name)) {
        // A folder (or a device, a pipe) where the copy goes: it goes aside whole, and the
        // copy is made once more, at once.
        if (const std::error_code error = setAside(issued->folder, issued->name, issued->fact.relative)) {
            outcome.error = error;
            outcome.keepFailed = m_keeper != nullptr;
        } else {
            issued->fact = {issued->fact.relative, m_keeper != nullptr, true};
            outcome = m_writer->write(issuedRequest(*issued));
            recordWrite(issued->fact, outcome);
        }
    }
    if (outcome.keepFailed) {
        destinationFailed(source, folderPartOf(target),
                          "cannot keep the copy it replaces in " + m_versions->folder() + ": " +
                              outcome.error.message());
        return;
    }
    tellCopyOutcome(source, target, outcome, issued->link, issued->folder);
}

void CopySink::tellIssued()
{
    while (!m_issued.empty())
        tellOldestIssued();
}

std::optional<VersionPlace> CopySink::keepForRecord(const std::string& relative, DestinationKind there,
                                                    DestinationKind kind, std::error_code& error)
{
    m_writeFact.relative = relative;
    return keepForRecord(m_writeFact, there, kind, error);
}

std::optional<VersionPlace> CopySink::keepForRecord(WriteFact& fact, DestinationKind there,
                                                    DestinationKind kind, std::error_code& error)
{
    fact.standing = there != DestinationKind::Missing;
    if (!fact.standing)
        return std::nullopt;
    std::optional<VersionPlace> place = m_keeper->placeFor(fact.relative, error);
    fact.kept = place.has_value();
    fact.kindChanged = there != kind;
    return place;
}

void CopySink::recordWrite(const CopyOutcome& outcome)
{
    recordWrite(std::exchange(m_writeFact, WriteFact{}), outcome);
}

void CopySink::recordWrite(const WriteFact& fact, const CopyOutcome& outcome)
{
    if (!fact.watched || outcome.status != CopyOutcome::Status::Copied)
        return;
    // A copy of another kind removed what stood there, whole; one of the same kind
    // replaced it. Either way a moment before this run finds it in the run folder.
    if (fact.kept && fact.kindChanged)
        m_runRecord->removed(fact.relative);
    else if (fact.kept)
        m_runRecord->replaced(fact.relative);
    else if (!fact.standing)
        m_runRecord->added(fact.relative);
}

void CopySink::setTimesAgain(const std::string& source, const FolderHandle& folder, const std::string& name)
{
    // Drives with coarse times (FAT through FUSE, some network shares) may stamp a file
    // with the time it was closed, after its times were set: set them once more, or every
    // incremental run would find the copy's time differing and copy it again.
    struct stat original {};
    if (::stat(source.c_str(), &original) == 0)
        m_destination.setTimes(folder, name, original.st_atim, original.st_mtim);
}

std::error_code CopySink::moveIntoVersions(const std::string& relative)
{
    tellIssued();
    const std::size_t slash = relative.rfind('/');
    const std::string parentPath = slash == std::string::npos ? std::string() : relative.substr(0, slash);
    const std::string name = slash == std::string::npos ? relative : relative.substr(slash + 1);
    std::error_code error;
    const FolderHandle parent = m_destination.openFolder(parentPath, error);
    if (!parent)
        return error;
    if (m_destination.status(parent, name).kind == DestinationKind::Missing)
        return {};
    if (!m_keeper && !m_removalKeeper)
        m_removalKeeper = std::make_unique<VersionStore::Keeper>(*m_versions, m_runStart, m_runRecord.get());
    VersionStore::Keeper& keeper = m_keeper ? *m_keeper : *m_removalKeeper;
    const std::optional<VersionPlace> place = keeper.placeFor(relative, error);
    if (!place)
        return error ? error : std::make_error_code(std::errc::invalid_argument);
    error = m_destination.rename(parent, name, place->folder, place->name);
    if (!error)
        m_runRecord->removed(relative);
    return error;
}

std::string CopySink::removalsFolder() const
{
    if (m_keeper)
        return m_keeper->runFolder();
    return m_removalKeeper ? m_removalKeeper->runFolder() : std::string();
}

bool CopySink::inTheWay(const FolderHandle& folder, const std::string& name)
{
    const DestinationKind there = m_destination.status(folder, name).kind;
    return there == DestinationKind::Folder || there == DestinationKind::Other;
}

std::error_code CopySink::setAside(const FolderHandle& folder, const std::string& name,
                                   const std::string& relative)
{
    if (!m_keeper)
        return m_destination.remove(folder, name);
    std::error_code error;
    const std::optional<VersionPlace> place = m_keeper->placeFor(relative, error);
    if (!place)
        return error ? error : std::make_error_code(std::errc::invalid_argument);
    error = m_destination.rename(folder, name, place->folder, place->name);
    if (!error)
        m_runRecord->removed(relative);
    return error;
}

bool CopySink::keepsReplacedCopy(const std::string& source, const FolderHandle& folder,
                                 const std::string& name, bool link, DestinationKind* there)
{
    const DestinationEntry existing = m_destination.status(folder, name);
    if (there)
        *there = existing.kind;
    if (existing.kind == DestinationKind::Missing)
        return false;
    if (link) {
        // A link with the text of the new one is the same link.
        if (existing.kind != DestinationKind::Link)
            return true;
        return !sameLinkText(m_destination, folder, name, source);
    }
    if (existing.kind != DestinationKind::File)
        return true; // a link or a folder gives way to a file
    struct stat original {};
    // A source that cannot be read is the copy's failure to tell; the old copy stays put.
    if (::stat(source.c_str(), &original) != 0)
        return true;
    if (existing.identity.device == static_cast<std::uint64_t>(original.st_dev) &&
        existing.identity.inode == static_cast<std::uint64_t>(original.st_ino))
        return false;
    // The same file is replaced without keeping it.
    return existing.size != static_cast<std::uint64_t>(original.st_size) ||
           !sameTime(existing.modified, original.st_mtim, m_granularity.get());
}

void CopySink::finishFolders()
{
    // A folder made without waiting that nothing was written into is answered for here.
    for (const auto& [relative, names] : m_madeInItem) {
        if (m_result.copyFailed || folderNotMade(names.first, names.second))
            break;
    }
    // Deepest first, so that a read-only folder is closed only when all below it is done,
    // and no folder's time changes after it is set.
    const auto depth = [](const std::string& path) { return std::count(path.begin(), path.end(), '/'); };
    std::stable_sort(m_folderFinish.begin(), m_folderFinish.end(),
                     [&](const auto& a, const auto& b) { return depth(a.second) > depth(b.second); });
    // Given out in batches, so that a destination where each call is a round trip can
    // give many folders theirs at once.
    constexpr std::size_t kBatch = 512;
    std::vector<FolderFinish> batch;
    std::vector<int> readErrors;
    const auto giveBatch = [&] {
        m_destination.finishFolders(batch);
        for (std::size_t at = 0; at < batch.size(); ++at) {
            files::MetadataLoss& loss = batch[at].loss;
            if (readErrors[at] != 0 && !loss.attributes)
                loss.attributes = std::error_code(readErrors[at], std::generic_category());
            noteLoss(loss);
        }
        batch.clear();
        readErrors.clear();
    };
    for (const auto& [source, target] : m_folderFinish) {
        FolderFinish finish;
        struct stat info {};
        const bool read = files::readMetadata(source, finish.metadata, info);
        const int readError = read ? 0 : errno;
        if (!S_ISDIR(info.st_mode))
            continue; // gone, or no longer a folder: told where its entries failed
        const std::string relative = relativeOf(target);
        const std::size_t slash = relative.rfind(paths::kSeparator);
        std::error_code error;
        finish.parent = slash == std::string::npos
                            ? m_destination.root()
                            : m_destination.openFolder(std::string_view(relative).substr(0, slash), error);
        if (!finish.parent)
            continue;
        finish.name = relative.substr(slash + 1);
        finish.mode = info.st_mode & 07777;
        finish.accessed = info.st_atim;
        finish.modified = info.st_mtim;
        batch.push_back(std::move(finish));
        readErrors.push_back(readError);
        if (batch.size() == kBatch)
            giveBatch();
    }
    giveBatch();
    m_folderFinish.clear();
    m_finishing.clear();
    m_madeInItem.clear();
}

bool CopySink::folderNotMade(const std::string& source, const std::string& target)
{
    std::string failed;
    const std::error_code error = m_destination.awaitFolder(relativeOf(target), failed);
    if (!error)
        return false;
    if (m_result.copyFailed)
        return true;
    const std::string reason =
        error.category() == std::generic_category() ? systemText(error.value()) : error.message();
    if (const auto made = m_madeInItem.find(failed); made != m_madeInItem.end())
        destinationFailed(made->second.first, folderPartOf(made->second.second), reason);
    else
        destinationFailed(source, paths::withTrailingSeparator(target), reason);
    return true;
}

void CopySink::destinationFailed(const std::string& source, const std::string& targetFolder,
                                 const std::string& reason)
{
    m_result.copyFailed = true;
    m_result.failedFile = source;
    m_result.failureReason = reason;
    // The space of the folder the copy was to go into: none when that folder is not there.
    std::error_code error;
    const bool folderThere = static_cast<bool>(m_destination.openFolder(relativeOf(targetFolder), error));
    m_observer.showError(
        copyFailureText(source, targetFolder, folderThere ? m_destination.freeBytes() : 0, reason));
    m_cancelFlag.store(true);
}

} // namespace stowmere::backup
