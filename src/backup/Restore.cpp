// SPDX-License-Identifier: GPL-3.0-or-later
#include "backup/Restore.h"

#include "backup/BackupLayout.h"
#include "backup/FailureReport.h"
#include "backup/VersionStore.h"
#include "platform/FileCopier.h"
#include "platform/FileLock.h"
#include "platform/FileQueries.h"
#include "platform/FolderListing.h"
#include "platform/Paths.h"

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
};

bool isOwnName(const std::string& name)
{
    return name == BackupEngine::kVersionsFolderName || name == BackupEngine::kRunLockName ||
           name.rfind(files::FileCopier::kTemporaryPrefix, 0) == 0;
}

std::string childPath(const std::string& relative, const std::string& name)
{
    return relative.empty() ? name : relative + paths::kSeparator + name;
}

/// Adds what lies at root (a file, link or folder tree) to entries, each by its path below
/// root, unless an entry of that path is there already (an older version wins).
void collect(const std::string& root, const std::string& relative, std::map<std::string, Source>& entries,
             bool top)
{
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
        // The destination's own files are no part of what was backed up.
        if (top && relative.empty() && isOwnName(entry.name))
            continue;
        if (entry.name.rfind(files::FileCopier::kTemporaryPrefix, 0) == 0)
            continue;
        collect(root, childPath(relative, entry.name), entries, top);
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

bool sameFile(const struct stat& a, const struct stat& b)
{
    return a.st_size == b.st_size && a.st_mtim.tv_sec == b.st_mtim.tv_sec &&
           a.st_mtim.tv_nsec == b.st_mtim.tv_nsec;
}

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

class Restorer {
public:
    Restorer(RestoreObserver& observer, std::atomic<bool>& cancel, bool overwrite)
        : m_observer(observer), m_cancel(cancel), m_overwrite(overwrite)
    {
    }

    /// Restores the entries of one path to target; false once the restore must stop.
    bool restore(const std::map<std::string, Source>& entries, const std::string& target)
    {
        std::vector<std::pair<std::string, const Source*>> folders;
        for (const auto& [relative, source] : entries) {
            if (m_cancel.load()) {
                m_result.cancelled = true;
                return false;
            }
            const std::string place = relative.empty() ? target : paths::join(target, relative);
            if (source.kind == EntryKind::Folder) {
                if (!folder(source, place))
                    return false;
                folders.emplace_back(place, &source);
                continue;
            }
            if (!file(source, place))
                return false;
        }
        // A folder's time is its own once everything in it is back, deepest first.
        for (auto it = folders.rbegin(); it != folders.rend(); ++it) {
            if (std::find(m_made.begin(), m_made.end(), it->first) == m_made.end())
                continue;
            struct stat info {};
            if (::stat(it->second->path.c_str(), &info) == 0) {
                const timespec times[2] = {info.st_atim, info.st_mtim};
                ::utimensat(AT_FDCWD, it->first.c_str(), times, 0);
                ::chmod(it->first.c_str(), info.st_mode & 07777);
            }
        }
        return true;
    }

    RestoreResult& result() { return m_result; }

private:
    bool folder(const Source& source, const std::string& place)
    {
        const struct stat existing = statOf(place, false);
        if (existing.st_mode != 0 && S_ISDIR(existing.st_mode))
            return true;
        if (existing.st_mode != 0) {
            m_result.kept.push_back(place);
            return true;
        }
        if (!makeFolders(paths::parentFolder(place), m_made) || ::mkdir(place.c_str(), 0700) != 0)
            return failed(place, errno);
        m_made.push_back(place);
        static_cast<void>(source);
        return true;
    }

    bool file(const Source& source, const std::string& place)
    {
        const struct stat copy = statOf(source.path, false);
        const struct stat existing = statOf(place, false);
        if (existing.st_mode != 0) {
            const bool bothFiles = S_ISREG(existing.st_mode) && S_ISREG(copy.st_mode);
            if (bothFiles && sameFile(existing, copy)) {
                ++m_result.same;
                return true;
            }
            if (!m_overwrite || S_ISDIR(existing.st_mode)) {
                m_result.kept.push_back(place);
                return true;
            }
        }
        if (!makeFolders(paths::parentFolder(place), m_made))
            return failed(place, errno);
        m_observer.restoring(source.path, place);
        const files::CopyOutcome outcome =
            source.link ? m_copier.copyLink(source.path, place, false)
                        : m_copier.copyFile(source.path, place, [&](std::uint64_t done, std::uint64_t size) {
                              m_observer.progress(source.path, done, size);
                              return !m_cancel.load();
                          });
        switch (outcome.status) {
        case files::CopyOutcome::Status::Copied:
        case files::CopyOutcome::Status::Unchanged:
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
        m_result.writeFailed = true;
        m_result.failure = "Cannot restore " + place + ": " +
                           std::error_code(error, std::generic_category()).message() + " (" +
                           FormatByteSize(GetFreeSpace(FolderPartOf(place))) + " free there)";
        return false;
    }

    static struct stat statOf(const std::string& path, bool follow)
    {
        struct stat info {};
        if ((follow ? ::stat(path.c_str(), &info) : ::lstat(path.c_str(), &info)) != 0)
            info.st_mode = 0;
        return info;
    }

    RestoreObserver& m_observer;
    std::atomic<bool>& m_cancel;
    bool m_overwrite;
    files::FileCopier m_copier;
    std::vector<std::string> m_made;
    RestoreResult m_result;
};

RestoreRefusal sharedPlaceRefusal(const std::string& item, const std::string& other, const std::string& dest)
{
    return RestoreRefusal("The backup copies of " + item + " and " + other + " share one place in " + dest +
                          ", so either could be restored; choose a folder with --to.");
}

RestoreRefusal noCopyRefusal(const std::string& path, const std::string& dest)
{
    return RestoreRefusal("There is no backup copy of " + path + " in " + dest);
}

} // namespace

RestoreResult Restore(const RestoreRequest& request, RestoreObserver& observer, std::atomic<bool>& cancel)
{
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
                collect(paths::join(folder.path, location->relative), {}, planned.entries, false);
        }
        if (reachable(versions.destination(), location->relative))
            collect(location->relative.empty() ? dest : paths::join(dest, location->relative), {},
                    planned.entries, location->relative.empty());
        if (planned.entries.empty())
            throw noCopyRefusal(path, dest);
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
    for (const Planned& planned : plan)
        if (!restorer.restore(planned.entries, planned.target))
            break;
    return restorer.result();
}

std::vector<KeptVersion> KeptVersions(const std::string& destination, const std::vector<std::string>& items,
                                      const std::string& path)
{
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
        collect(folder.path, {}, entries, false);
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
