// SPDX-License-Identifier: GPL-3.0-or-later
#include "backup/Restore.h"

#include "backup/BackupLayout.h"
#include "backup/FailureReport.h"
#include "backup/LocalDestination.h"
#include "backup/OpenDestination.h"
#include "backup/OwnNames.h"
#include "backup/VersionStore.h"
#include "platform/FileCopier.h"
#include "platform/FileLock.h"
#include "platform/FileQueries.h"
#include "platform/FolderListing.h"
#include "platform/Paths.h"
#include "platform/SpecialFile.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <map>
#include <sys/stat.h>
#include <system_error>

namespace stowmere::backup {
namespace {

using files::EntryKind;

/// One entry of what is restored, by its path below the restored root.
struct Source {
    std::string path;
    EntryKind kind = EntryKind::File;
    bool link = false;
    /// The type bits of a FIFO or device node; 0 for anything else.
    mode_t special = 0;
};

std::string childPath(const std::string& relative, const std::string& name)
{
    return relative.empty() ? name : relative + paths::kSeparator + name;
}

/// Adds what lies at root (a file, link or folder tree) to entries, each by its path below
/// root, unless an entry of that path is there already (an older version wins).
void collect(const std::string& root, const std::string& relative, std::map<std::string, Source>& entries,
             bool top, const std::atomic<bool>& cancel)
{
    // A tree of a million copies takes a while to list.
    if (cancel.load())
        return;
    const std::string path = relative.empty() ? root : paths::join(root, relative);
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0)
        return;
    if (S_ISLNK(info.st_mode)) {
        entries.try_emplace(relative, Source{path, EntryKind::File, true});
        return;
    }
    if (S_ISREG(info.st_mode)) {
        entries.try_emplace(relative, Source{path, EntryKind::File, false});
        return;
    }
    // A FIFO or device a run made; a socket never is one.
    if (files::isSpecialFormat(info.st_mode) && !S_ISSOCK(info.st_mode)) {
        entries.try_emplace(relative, Source{path, EntryKind::Other, false, info.st_mode & S_IFMT});
        return;
    }
    if (!S_ISDIR(info.st_mode))
        return;
    entries.try_emplace(relative, Source{path, EntryKind::Folder, false});
    std::vector<files::FolderEntry> names;
    try {
        names = files::listFolder(path);
    } catch (const std::system_error&) {
        return;
    }
    for (const files::FolderEntry& entry : names) {
        // The destination's own files are no part of what was backed up; below its top
        // level every name is a copy's.
        if (top && relative.empty() && isOwnTopLevelName(entry.name))
            continue;
        collect(root, childPath(relative, entry.name), entries, top, cancel);
    }
}

// Whether the folder that holds relative (below the destination) is reached without a link
// on the way: a link planted in a versions folder or a copy must not lead a restore to read
// someone else's files.
bool reachable(Destination* destination, const std::string& relative)
{
    const std::size_t slash = relative.rfind(paths::kSeparator);
    if (!destination || slash == std::string::npos)
        return true;
    std::error_code error;
    return destination->openFolder(std::string_view(relative).substr(0, slash), error) != nullptr ||
           error == std::errc::no_such_file_or_directory;
}

bool sameCopy(const DestinationEntry& existing, const struct stat& copy)
{
    if (files::isSpecialFormat(copy.st_mode))
        return existing.kind == DestinationKind::Other && existing.format == (copy.st_mode & S_IFMT) &&
               (!files::isDeviceFormat(copy.st_mode) ||
                existing.device == static_cast<std::uint64_t>(copy.st_rdev)) &&
               existing.modified.tv_sec == copy.st_mtim.tv_sec &&
               existing.modified.tv_nsec == copy.st_mtim.tv_nsec;
    return existing.kind == DestinationKind::File && S_ISREG(copy.st_mode) &&
           existing.size == static_cast<std::uint64_t>(copy.st_size) &&
           existing.modified.tv_sec == copy.st_mtim.tv_sec &&
           existing.modified.tv_nsec == copy.st_mtim.tv_nsec;
}

/// Makes the folder path and those above it that are missing (links in it are followed:
/// the user named the place), remembering which it made.
bool makeFolders(const std::string& folder, std::vector<std::string>& made)
{
    if (folder.empty() || files::isFolder(folder))
        return true;
    if (!makeFolders(paths::parentFolder(folder), made))
        return false;
    if (::mkdir(folder.c_str(), 0777) != 0 && errno != EEXIST)
        return false;
    made.push_back(folder);
    return true;
}

/// Writes what is restored beneath the folder that holds the target, never following a
/// link below it: a link that now stands where a restored folder was (planted, or made by
/// the user since) is a kept difference, and nothing is written through it.
class Restorer {
public:
    Restorer(RestoreObserver& observer, std::atomic<bool>& cancel, bool overwrite)
        : m_observer(observer), m_cancel(cancel), m_overwrite(overwrite)
    {
    }

    /// Restores the entries of one path to target; false once the restore must stop.
    bool restore(const std::map<std::string, Source>& entries, const std::string& target)
    {
        const std::string name = paths::fileNamePart(paths::withoutTrailingSeparator(target));
        const std::string holder = name.empty() ? target : paths::parentFolder(target);
        std::vector<std::string> madeAbove;
        if (!makeFolders(holder, madeAbove))
            return failed(holder, errno);
        std::error_code error;
        m_destination = LocalDestination::open(holder, error);
        if (!m_destination)
            return failed(holder, error.value());
        m_writer = m_destination->writer();
        m_skipped.clear();
        m_linked.clear();
        m_place = target;
        std::vector<MadeFolder> made;
        for (const auto& [relative, source] : entries) {
            if (m_cancel.load()) {
                m_result.cancelled = true;
                return false;
            }
            const std::string below = relative.empty() ? name : childPath(name, relative);
            const std::string place = relative.empty() ? target : paths::join(target, relative);
            if (insideSkipped(below))
                continue;
            const FolderHandle folder = parentOf(below, place);
            if (!folder) {
                if (m_failed)
                    return false;
                continue;
            }
            const std::string entryName = paths::fileNamePart(below);
            const bool ok = source.kind == EntryKind::Folder
                                ? this->folder(source, folder, entryName, place, below, made)
                                : file(source, folder, entryName, place);
            if (!ok)
                return false;
        }
        // A folder's owner, bits and time are its own once everything in it is back,
        // deepest first: owner before bits, as a change of owner clears set-gid.
        for (auto it = made.rbegin(); it != made.rend(); ++it) {
            files::Metadata metadata;
            struct stat info {};
            files::readMetadata(it->source, metadata, info);
            if (!S_ISDIR(info.st_mode))
                continue;
            const files::MetadataLoss loss = m_destination->setMetadata(it->parent, it->name, metadata);
            noteLoss(loss, target);
            m_destination->setMode(it->parent, it->name, files::safeModeBits(info.st_mode & 07777, loss));
            m_destination->setTimes(it->parent, it->name, info.st_atim, info.st_mtim);
        }
        return true;
    }

    RestoreResult& result()
    {
        m_result.notKept.clear();
        for (const auto& [place, loss] : m_lost)
            for (std::string& line : NotKeptLines(loss, place))
                m_result.notKept.push_back(std::move(line));
        return m_result;
    }

private:
    struct MadeFolder {
        FolderHandle parent;
        std::string name;
        std::string source;
    };

    /// The open folder that holds below; none when a folder on the way was kept (then
    /// nothing below it is written) or could not be opened.
    FolderHandle parentOf(const std::string& below, const std::string& place)
    {
        const std::size_t slash = below.rfind(paths::kSeparator);
        if (slash == std::string::npos)
            return m_destination->root();
        std::error_code error;
        FolderHandle folder = m_destination->openFolder(std::string_view(below).substr(0, slash), error);
        if (folder)
            return folder;
        // A link took a folder's place while the restore went on: kept, and not written through.
        if (error == std::errc::too_many_symbolic_link_levels || error == std::errc::not_a_directory)
            m_result.kept.push_back(place);
        else
            failed(place, error.value());
        return nullptr;
    }

    bool insideSkipped(const std::string& below) const
    {
        return std::any_of(m_skipped.begin(), m_skipped.end(), [&below](const std::string& skipped) {
            return below.size() > skipped.size() && below.compare(0, skipped.size(), skipped) == 0 &&
                   below[skipped.size()] == paths::kSeparator;
        });
    }

    bool folder(const Source& source, const FolderHandle& parent, const std::string& name,
                const std::string& place, const std::string& below, std::vector<MadeFolder>& made)
    {
        const DestinationEntry existing = m_destination->status(parent, name);
        if (existing.kind == DestinationKind::Folder)
            return true;
        if (existing.kind != DestinationKind::Missing) {
            // A link is replaced only when asked to (it holds no data); a file never is.
            if (!m_overwrite || existing.kind != DestinationKind::Link) {
                m_result.kept.push_back(place);
                m_skipped.push_back(below);
                return true;
            }
            if (const std::error_code error = m_destination->remove(parent, name))
                return failed(place, error.value());
        }
        bool created = false;
        std::error_code error;
        if (!m_destination->makeFolder(parent, name, 0700, created, error))
            return failed(place, error.value());
        made.push_back({parent, name, source.path});
        return true;
    }

    bool file(const Source& source, const FolderHandle& parent, const std::string& name,
              const std::string& place)
    {
        const struct stat copy = statOf(source.path);
        const DestinationEntry existing = m_destination->status(parent, name);
        if (existing.kind != DestinationKind::Missing) {
            if (sameCopy(existing, copy)) {
                ++m_result.same;
                return true;
            }
            if (!m_overwrite || existing.kind == DestinationKind::Folder) {
                m_result.kept.push_back(place);
                return true;
            }
        }
        m_observer.restoring(source.path, place);
        if (source.special != 0)
            return special(source, copy, parent, name, place);
        if (copy.st_nlink > 1 && !source.link) {
            const std::pair identity{static_cast<std::uint64_t>(copy.st_dev),
                                     static_cast<std::uint64_t>(copy.st_ino)};
            if (const auto first = m_linked.find(identity); first != m_linked.end()) {
                const files::CopyOutcome outcome =
                    m_destination->makeHardLink(first->second.first, first->second.second, parent, name, {});
                if (outcome.status != files::CopyOutcome::Status::LinksRefused &&
                    outcome.status != files::CopyOutcome::Status::SourceFailed)
                    return told(source, outcome, place);
                // Another file system on the way: this name is a copy of its own.
            } else {
                m_firstName = identity;
            }
        }
        WriteRequest request;
        request.folder = parent;
        request.name = name;
        request.source = source.path;
        request.link = source.link;
        request.progress = [&](std::uint64_t done, std::uint64_t size) {
            m_observer.progress(source.path, done, size);
            return !m_cancel.load();
        };
        const files::CopyOutcome outcome = m_writer->write(std::move(request));
        if (m_firstName) {
            // The first name of a copy with several: later names of it are made links to it.
            if (outcome.status == files::CopyOutcome::Status::Copied)
                m_linked.try_emplace(*m_firstName, parent, name);
            m_firstName.reset();
        }
        return told(source, outcome, place);
    }

    /// Makes a FIFO or device node as its copy is.
    bool special(const Source& source, const struct stat& copy, const FolderHandle& parent,
                 const std::string& name, const std::string& place)
    {
        SpecialRequest request;
        request.folder = parent;
        request.name = name;
        files::readMetadata(source.path, request.metadata, request.source);
        if ((request.source.st_mode & S_IFMT) != (copy.st_mode & S_IFMT)) {
            m_result.unreadable.push_back({source.path, "it is no longer what it was"});
            return true;
        }
        // What stands there (only with overwrite, and never a folder) is replaced in one rename.
        const files::CopyOutcome outcome = m_destination->makeSpecial(request);
        if (outcome.status == files::CopyOutcome::Status::DestinationFailed &&
            files::isDeviceFormat(copy.st_mode) &&
            (outcome.error == std::errc::operation_not_permitted ||
             outcome.error == std::errc::permission_denied)) {
            m_result.unreadable.push_back({source.path, std::string("it is a ") +
                                                            files::specialKindWord(copy.st_mode) +
                                                            ", which only root may make"});
            return true;
        }
        return told(source, outcome, place);
    }

    /// Counts or reports how the restore of one entry ended; false once the restore must stop.
    bool told(const Source& source, const files::CopyOutcome& outcome, const std::string& place)
    {
        switch (outcome.status) {
        case files::CopyOutcome::Status::Copied:
        case files::CopyOutcome::Status::Unchanged:
            noteLoss(outcome.lost, m_place);
            ++m_result.restored;
            m_observer.restored(m_result.restored);
            return true;
        case files::CopyOutcome::Status::SameFile:
        case files::CopyOutcome::Status::TooLarge: // no limit is given
            return true;
        case files::CopyOutcome::Status::Cancelled:
            m_result.cancelled = true;
            return false;
        case files::CopyOutcome::Status::SourceFailed:
            m_result.unreadable.push_back({source.path, outcome.error.message()});
            return true;
        case files::CopyOutcome::Status::LinksRefused:
            m_result.unreadable.push_back({source.path, "links cannot be stored there"});
            return true;
        case files::CopyOutcome::Status::DestinationFailed:
            return failed(place, outcome.error.value());
        }
        return true;
    }

    bool failed(const std::string& place, int error)
    {
        m_failed = true;
        m_result.writeFailed = true;
        m_result.failure = "Cannot restore " + place + ": " +
                           std::error_code(error, std::generic_category()).message() + " (" +
                           FormatByteSize(GetFreeSpace(FolderPartOf(place))) + " free there)";
        return false;
    }

    static struct stat statOf(const std::string& path)
    {
        struct stat info {};
        if (::lstat(path.c_str(), &info) != 0)
            info.st_mode = 0;
        return info;
    }

    void noteLoss(const files::MetadataLoss& loss, const std::string& place)
    {
        if (!loss.any())
            return;
        for (auto& [where, lost] : m_lost) {
            if (where == place) {
                lost.add(loss);
                return;
            }
        }
        m_lost.emplace_back(place, loss);
    }

    RestoreObserver& m_observer;
    std::atomic<bool>& m_cancel;
    /// What each target place could not keep, told once for each.
    std::vector<std::pair<std::string, files::MetadataLoss>> m_lost;
    std::string m_place;
    bool m_overwrite;
    std::unique_ptr<LocalDestination> m_destination;
    std::unique_ptr<DestinationWriter> m_writer;
    /// Folders (below the destination) kept as they were: nothing is restored into them.
    std::vector<std::string> m_skipped;
    /// The copies with several names restored so far, by the copy's identity: the folder and
    /// name of the first name restored, which later names are made links to.
    std::map<std::pair<std::uint64_t, std::uint64_t>, std::pair<FolderHandle, std::string>> m_linked;
    std::optional<std::pair<std::uint64_t, std::uint64_t>> m_firstName;
    bool m_failed = false;
    RestoreResult m_result;
};

RestoreRefusal sharedPlaceRefusal(const std::string& item, const std::string& other, const std::string& dest)
{
    return RestoreRefusal("The backup copies of " + item + " and " + other + " share one place in " + dest +
                          ", so either could be restored; choose a folder with --to.");
}

RestoreRefusal remoteRefusal(const std::string& dest)
{
    return RestoreRefusal("The backup copies in " + dest +
                          " are on a server: restore and the list of versions read copies on this machine "
                          "only. Copy them back with sftp or scp.");
}

RestoreRefusal noCopyRefusal(const std::string& path, const std::string& dest)
{
    return RestoreRefusal("There is no backup copy of " + path + " in " + dest);
}

} // namespace

RestoreResult Restore(const RestoreRequest& request, RestoreObserver& observer, std::atomic<bool>& cancel)
{
    if (isRemoteLocation(request.destination))
        throw remoteRefusal(request.destination);
    const BackupLayout layout(request.destination, request.items);
    const std::string dest =
        layout.destination().empty() ? std::string(1, paths::kSeparator) : layout.destination();
    const VersionStore versions(layout.destination());
    std::vector<VersionStore::RunFolder> later;
    if (request.at) {
        for (const VersionStore::RunFolder& folder : versions.runFolders())
            if (folder.time > *request.at)
                later.push_back(folder);
    }
    // Every path is checked before anything is written.
    struct Planned {
        std::map<std::string, Source> entries;
        std::string target;
        std::string path;
        std::string fromRun; ///< the run folder standing in for a missing copy
    };
    std::vector<Planned> plan;
    for (const std::string& path : request.paths) {
        const auto location = layout.locate(path);
        if (!location)
            throw RestoreRefusal("Not a file or folder of this backup set: " + path);
        if (!request.to) {
            if (const std::string other = layout.sharingWith(location->item); !other.empty())
                throw sharedPlaceRefusal(location->item, other, dest);
        }
        Planned planned;
        for (const VersionStore::RunFolder& folder : later) {
            std::string inVersions =
                std::string(BackupEngine::kVersionsFolderName) + paths::kSeparator + folder.name;
            if (!location->relative.empty())
                inVersions += paths::kSeparator + location->relative;
            if (reachable(versions.destination(), inVersions))
                collect(paths::join(folder.path, location->relative), {}, planned.entries, false, cancel);
        }
        if (reachable(versions.destination(), location->relative))
            collect(location->relative.empty() ? dest : paths::join(dest, location->relative), {},
                    planned.entries, location->relative.empty(), cancel);
        if (planned.entries.empty() && !request.at && !location->relative.empty()) {
            // No current copy: the newest kept version stands in for it.
            const std::vector<VersionStore::RunFolder> runs = versions.runFolders();
            for (auto run = runs.rbegin(); run != runs.rend() && planned.entries.empty(); ++run) {
                const std::string inVersions = std::string(BackupEngine::kVersionsFolderName) +
                                               paths::kSeparator + run->name + paths::kSeparator +
                                               location->relative;
                if (reachable(versions.destination(), inVersions)) {
                    collect(paths::join(run->path, location->relative), {}, planned.entries, false, cancel);
                    if (!planned.entries.empty())
                        planned.fromRun = run->name;
                }
            }
        }
        if (cancel.load()) {
            RestoreResult cancelled;
            cancelled.cancelled = true;
            return cancelled;
        }
        if (planned.entries.empty())
            throw noCopyRefusal(path, dest);
        planned.path = path;
        const std::string name = paths::fileNamePart(paths::withoutTrailingSeparator(path));
        planned.target = request.to ? (name.empty() ? *request.to : paths::join(*request.to, name)) : path;
        plan.push_back(std::move(planned));
    }
    std::optional<files::FileLock> lock;
    try {
        const std::string lockFile = paths::join(dest, BackupEngine::kRunLockName);
        lock = files::FileLock::acquire(lockFile, std::chrono::milliseconds(0));
        if (!lock)
            throw RestoreRefusal(
                DestinationBusyText(request.destination, files::FileLock::holderOf(lockFile)));
        lock->recordHolder(BackupEngine::kRestoreHolder);
    } catch (const std::system_error&) {
        // A destination that cannot take a lock file (read-only, say) can still be read.
    }
    Restorer restorer(observer, cancel, request.overwrite);
    std::vector<std::pair<std::string, std::string>> fromVersions;
    for (const Planned& planned : plan) {
        if (!planned.fromRun.empty())
            fromVersions.emplace_back(planned.path, planned.fromRun);
        if (!restorer.restore(planned.entries, planned.target))
            break;
    }
    RestoreResult result = restorer.result();
    result.fromVersions = std::move(fromVersions);
    return result;
}

std::vector<KeptVersion> KeptVersions(const std::string& destination, const std::vector<std::string>& items,
                                      const std::string& path)
{
    if (isRemoteLocation(destination))
        throw remoteRefusal(destination);
    const BackupLayout layout(destination, items);
    std::optional<std::string> only;
    if (!path.empty()) {
        const auto location = layout.locate(path);
        if (!location)
            throw RestoreRefusal("Not a file or folder of this backup set: " + path);
        only = location->relative;
    }
    std::vector<KeptVersion> versions;
    for (const VersionStore::RunFolder& folder : VersionStore(layout.destination()).runFolders()) {
        std::map<std::string, Source> entries;
        const std::atomic<bool> never{false};
        collect(folder.path, {}, entries, false, never);
        for (const auto& [relative, source] : entries) {
            if (source.kind == EntryKind::Folder || relative.empty())
                continue;
            if (only && !only->empty() && relative != *only &&
                relative.rfind(*only + paths::kSeparator, 0) != 0)
                continue;
            struct stat info {};
            ::lstat(source.path.c_str(), &info);
            versions.push_back({folder.name, folder.time, relative, layout.originalOf(relative), source.path,
                                static_cast<std::uint64_t>(info.st_size), info.st_mtim});
        }
    }
    return versions;
}

} // namespace stowmere::backup
