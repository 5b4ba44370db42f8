// SPDX-License-Identifier: GPL-3.0-or-later
#include "backup/Restore.h"

#include "backup/BackupLayout.h"
#include "backup/FailureReport.h"
#include "backup/HardLinkMap.h"
#include "backup/LocalDestination.h"
#include "backup/MomentTree.h"
#include "backup/OpenDestination.h"
#include "backup/OwnNames.h"
#include "backup/PathText.h"
#include "backup/VersionStore.h"
#include "platform/FileCopier.h"
#include "platform/FileLock.h"
#include "platform/FileNode.h"
#include "platform/FileQueries.h"
#include "platform/Paths.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <map>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace stowmere::backup {
namespace {

using files::EntryKind;

/// One entry of what is restored, by its path below the restored root: where it lies in
/// the destination and what its listing told of it.
struct Source {
    FolderHandle folder; ///< the destination's folder that holds it
    std::string name;
    std::string path; ///< its full path in the destination, for messages
    EntryKind kind = EntryKind::File;
    bool link = false;
    DestinationEntry entry;
};

std::string childPath(const std::string& relative, const std::string& name)
{
    return relative.empty() ? name : relative + paths::kSeparator + name;
}

/// Adds one listed entry (and a folder's tree) of folder, found at relative below the
/// restored root, unless an entry of that path is there already (an older version wins).
void collectEntry(Destination& destination, const FolderHandle& folder, const DestinationEntry& entry,
                  const std::string& relative, std::map<std::string, Source>& entries, bool top,
                  const std::atomic<bool>& cancel);

/// Adds what the open folder holds, each entry by its path below the restored root.
void collectFolder(Destination& destination, const FolderHandle& folder, const std::string& relative,
                   std::map<std::string, Source>& entries, bool top, const std::atomic<bool>& cancel)
{
    // A tree of a million copies takes a while to list.
    if (cancel.load())
        return;
    std::error_code error;
    for (const DestinationEntry& entry : destination.list(folder, error)) {
        // The destination's own files are no part of what was backed up; below its top
        // level every name is a copy's.
        if (top && relative.empty() && isOwnTopLevelName(entry.name))
            continue;
        collectEntry(destination, folder, entry, childPath(relative, entry.name), entries, top, cancel);
    }
}

void collectEntry(Destination& destination, const FolderHandle& folder, const DestinationEntry& entry,
                  const std::string& relative, std::map<std::string, Source>& entries, bool top,
                  const std::atomic<bool>& cancel)
{
    Source source{folder, entry.name, destination.pathOf(*folder, entry.name), EntryKind::File, false, entry};
    switch (entry.kind) {
    case DestinationKind::Link:
        source.link = true;
        entries.try_emplace(relative, std::move(source));
        return;
    case DestinationKind::File:
        entries.try_emplace(relative, std::move(source));
        return;
    case DestinationKind::Folder: {
        // Opened without following a link: one swapped in since the listing leads nowhere.
        std::error_code error;
        const FolderHandle below = destination.openFolder(folder, entry.name, error);
        if (!below)
            return;
        source.kind = EntryKind::Folder;
        entries.try_emplace(relative, std::move(source));
        collectFolder(destination, below, relative, entries, top, cancel);
        return;
    }
    case DestinationKind::Other:
        // A FIFO or device node a run made again; it is made again here too.
        source.kind = EntryKind::Other;
        entries.try_emplace(relative, std::move(source));
        return;
    case DestinationKind::Missing:
        return;
    }
}

/// Adds what lies at below (a path below the destination: a file, link or folder tree) to
/// entries, each by its path below it. Nothing is read through a link on the way: a link
/// planted in a versions folder or a copy must not lead a restore to read someone else's
/// files.
void collect(Destination& destination, const std::string& below, std::map<std::string, Source>& entries,
             bool top, const std::atomic<bool>& cancel)
{
    std::error_code error;
    if (below.empty()) {
        const FolderHandle root = destination.root();
        DestinationEntry entry = destination.status(root);
        if (entry.kind != DestinationKind::Folder)
            return;
        entries.try_emplace(std::string(),
                            Source{nullptr, {}, destination.location(), EntryKind::Folder, false, entry});
        collectFolder(destination, root, {}, entries, top, cancel);
        return;
    }
    const std::size_t slash = below.rfind(paths::kSeparator);
    const FolderHandle parent = slash == std::string::npos
                                    ? destination.root()
                                    : destination.openFolder(std::string_view(below).substr(0, slash), error);
    if (!parent)
        return;
    const std::string name = slash == std::string::npos ? below : below.substr(slash + 1);
    const DestinationEntry entry = destination.status(parent, name);
    collectEntry(destination, parent, entry, {}, entries, top, cancel);
}

bool sameCopy(const DestinationEntry& existing, const DestinationEntry& copy)
{
    return existing.kind == DestinationKind::File && copy.kind == DestinationKind::File &&
           existing.size == copy.size && existing.modified.tv_sec == copy.modified.tv_sec &&
           existing.modified.tv_nsec == copy.modified.tv_nsec;
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

/// Whether a read failed because the connection to the server did, rather than on one copy.
bool isConnectionLost(const std::error_code& error)
{
    for (const std::errc lost :
         {std::errc::connection_reset, std::errc::connection_aborted, std::errc::not_connected,
          std::errc::timed_out, std::errc::broken_pipe, std::errc::host_unreachable, std::errc::network_down})
        if (error == lost)
            return true;
    return false;
}

/// A link of a server's copy, made again on this machine under a private folder of its
/// own, so that it is written like the link of a local copy: its text and its time.
class LinkStage {
public:
    LinkStage() = default;
    LinkStage(const LinkStage&) = delete;
    LinkStage& operator=(const LinkStage&) = delete;
    ~LinkStage()
    {
        if (m_folder.empty())
            return;
        ::unlink(link().c_str());
        ::rmdir(m_folder.c_str());
    }

    /// The path of a link with text and the time modified; none when it cannot be made.
    std::optional<std::string> stage(const std::string& text, const timespec& modified,
                                     std::error_code& error)
    {
        if (m_folder.empty()) {
            const char* temporary = std::getenv("TMPDIR");
            std::string pattern =
                std::string(temporary && *temporary ? temporary : "/tmp") + "/stowmere-link-XXXXXX";
            if (!::mkdtemp(pattern.data())) {
                error = std::error_code(errno, std::generic_category());
                return std::nullopt;
            }
            m_folder = pattern;
        }
        const std::string path = link();
        ::unlink(path.c_str());
        if (::symlink(text.c_str(), path.c_str()) != 0) {
            error = std::error_code(errno, std::generic_category());
            return std::nullopt;
        }
        const timespec times[2] = {modified, modified};
        ::utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW);
        return path;
    }

private:
    std::string link() const { return m_folder + "/link"; }
    std::string m_folder;
};

/// Writes what is restored beneath the folder that holds the target, never following a
/// link below it: a link that now stands where a restored folder was (planted, or made by
/// the user since) is a kept difference, and nothing is written through it.
class Restorer {
public:
    /// Reads the copies from copies; remote: it is a server's, whose files are fetched.
    Restorer(Destination& copies, bool remote, RestoreObserver& observer, std::atomic<bool>& cancel,
             bool overwrite)
        : m_copies(copies), m_remote(remote), m_observer(observer), m_cancel(cancel), m_overwrite(overwrite)
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
        m_hardLinks.clear();
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
            bool ok = true;
            if (source.kind == EntryKind::Folder)
                ok = this->folder(source, folder, entryName, place, below, made);
            else if (source.kind == EntryKind::Other)
                ok = special(source, folder, entryName, place);
            else
                ok = file(source, folder, entryName, place, below);
            if (!ok)
                return false;
        }
        // A folder's owner, bits and time are its own once everything in it is back,
        // deepest first: owner before bits, as a change of owner clears set-gid.
        for (auto it = made.rbegin(); it != made.rend(); ++it) {
            if (m_remote) {
                // A server tells a folder's bits and time, never its owner or attributes.
                const DestinationEntry& entry = it->source.entry;
                m_destination->setMode(it->parent, it->name, entry.mode & 0777);
                m_destination->setTimes(it->parent, it->name, entry.modified, entry.modified);
                continue;
            }
            files::Metadata metadata;
            struct stat info {};
            files::readMetadata(it->source.path, metadata, info);
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
            for (std::string& line : notKeptLines(loss, place))
                m_result.notKept.push_back(std::move(line));
        return m_result;
    }

private:
    struct MadeFolder {
        FolderHandle parent;
        std::string name;
        Source source;
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
        made.push_back({parent, name, source});
        return true;
    }

    /// Makes the FIFO or device node of a copy again at name, with its owner, bits and times.
    bool special(const Source& source, const FolderHandle& parent, const std::string& name,
                 const std::string& place)
    {
        const DestinationEntry existing = m_destination->status(parent, name);
        if (existing.kind != DestinationKind::Missing) {
            if (existing.kind == DestinationKind::Other && existing.format == source.entry.format &&
                existing.device == source.entry.device) {
                ++m_result.same;
                return true;
            }
            if (!m_overwrite || existing.kind == DestinationKind::Folder) {
                m_result.kept.push_back(place);
                return true;
            }
        }
        SpecialRequest request;
        request.folder = parent;
        request.name = name;
        // Looked at, never opened: a FIFO would block the restore.
        if (!files::readMetadata(source.path, request.metadata, request.source) &&
            request.source.st_mode == 0) {
            m_result.unreadable.push_back({source.path, systemText(errno)});
            return true;
        }
        const mode_t format = request.source.st_mode & S_IFMT;
        if (format != source.entry.format || (!S_ISFIFO(format) && !files::isDeviceFormat(format))) {
            m_result.unreadable.push_back({source.path, "it changed its kind while the restore went on"});
            return true;
        }
        m_observer.restoring(source.path, place);
        const files::CopyOutcome outcome = m_destination->makeSpecial(request);
        if (outcome.succeeded()) {
            noteLoss(outcome.lost, m_place);
            ++m_result.restored;
            m_observer.restored(m_result.restored);
            return true;
        }
        if (files::isDeviceFormat(format) && (outcome.error == std::errc::operation_not_permitted ||
                                              outcome.error == std::errc::permission_denied)) {
            // Only root makes device nodes, and not on every mount.
            m_result.unreadable.push_back(
                {source.path, std::string("it is a ") + files::specialKindWord(format) +
                                  ", and the system refused to make one: " + outcome.error.message()});
            return true;
        }
        return failed(place, outcome.error.value());
    }

    /// Whether the copy is a name of a file that has others in the destination, so that
    /// the restored names are one file again, as they were backed up.
    bool isMultiLinked(const Source& source) const
    {
        return !m_remote && !source.link && source.entry.links > 1 && source.entry.identity.inode != 0;
    }

    /// Gives the file restored already for another name of the copy's file the name name
    /// too; false when there is none or the link could not be made (it is then copied).
    bool linkToRestored(const Source& source, const FolderHandle& parent, const std::string& name)
    {
        const HardLinkMap::Copy* first = m_hardLinks.copyOf(source.entry.identity);
        if (!first)
            return false;
        const std::string firstPath = first->path;
        m_hardLinks.met(source.entry.identity);
        const std::size_t slash = firstPath.rfind(paths::kSeparator);
        std::error_code error;
        const FolderHandle firstFolder =
            slash == std::string::npos
                ? m_destination->root()
                : m_destination->openFolder(std::string_view(firstPath).substr(0, slash), error);
        if (!firstFolder)
            return false;
        const std::string firstName = slash == std::string::npos ? firstPath : firstPath.substr(slash + 1);
        const files::CopyOutcome outcome =
            m_destination->makeHardLink(firstFolder, firstName, parent, name, {});
        if (!outcome.succeeded())
            return false;
        ++m_result.restored;
        m_observer.restored(m_result.restored);
        return true;
    }

    bool file(const Source& source, const FolderHandle& parent, const std::string& name,
              const std::string& place, const std::string& below)
    {
        const DestinationEntry existing = m_destination->status(parent, name);
        if (existing.kind != DestinationKind::Missing) {
            if (sameCopy(existing, source.entry)) {
                ++m_result.same;
                return true;
            }
            if (!m_overwrite || existing.kind == DestinationKind::Folder) {
                m_result.kept.push_back(place);
                return true;
            }
        }
        const bool multiLinked = isMultiLinked(source);
        if (multiLinked && linkToRestored(source, parent, name))
            return true;
        m_observer.restoring(source.path, place);
        WriteRequest request;
        request.folder = parent;
        request.name = name;
        request.source = source.path;
        request.link = source.link;
        files::UniqueFd copy;
        std::error_code error;
        if (source.link && m_remote) {
            const std::optional<std::string> text = m_copies.readLink(source.folder, source.name, error);
            const std::optional<std::string> staged =
                text ? m_links.stage(*text, source.entry.modified, error) : std::nullopt;
            if (!staged) {
                m_result.unreadable.push_back({source.path, error.message()});
                return true;
            }
            request.source = *staged;
        } else if (!source.link) {
            // Read through the destination, never by a path a planted link could divert.
            copy = m_copies.openFile(source.folder, source.name, error);
            if (!copy) {
                if (isConnectionLost(error))
                    return readFailed(source, error);
                m_result.unreadable.push_back({source.path, error.message()});
                return true;
            }
            request.sourceFd = copy.get();
        }
        request.progress = [&](std::uint64_t done, std::uint64_t size) {
            m_observer.progress(source.path, done, size);
            return !m_cancel.load();
        };
        const files::CopyOutcome outcome = m_writer->write(std::move(request));
        switch (outcome.status) {
        case files::CopyOutcome::Status::Copied:
        case files::CopyOutcome::Status::Unchanged:
            if (multiLinked && !m_hardLinks.copyOf(source.entry.identity))
                m_hardLinks.remember(source.entry.identity, source.entry.links, below);
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

    /// The server went away: nothing more can be read.
    bool readFailed(const Source& source, const std::error_code& error)
    {
        m_failed = true;
        m_result.writeFailed = true;
        m_result.failure = "Cannot read " + source.path + ": " + error.message();
        return false;
    }

    bool failed(const std::string& place, int error)
    {
        m_failed = true;
        m_result.writeFailed = true;
        m_result.failure = "Cannot restore " + place + ": " +
                           std::error_code(error, std::generic_category()).message() + " (" +
                           formatByteSize(freeSpaceOf(folderPartOf(place))) + " free there)";
        return false;
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

    Destination& m_copies;
    bool m_remote;
    LinkStage m_links;
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
    /// Files of several names restored so far in this place, by the copy's identity.
    HardLinkMap m_hardLinks;
    bool m_failed = false;
    RestoreResult m_result;
};

RestoreRefusal sharedPlaceRefusal(const std::string& item, const std::string& other, const std::string& dest)
{
    return RestoreRefusal("The backup copies of " + item + " and " + other + " share one place in " + dest +
                          ", so either could be restored; choose a folder with --to.");
}

RestoreRefusal noCopyThenRefusal(const std::string& path, const std::string& dest)
{
    std::string text = "There was no backup copy of " + path;
    text += " in ";
    text += dest;
    text += " at that time";
    return RestoreRefusal(text);
}

RestoreRefusal noCopyRefusal(const std::string& path, const std::string& dest)
{
    return RestoreRefusal("There is no backup copy of " + path + " in " + dest);
}

Source sourceOf(const MomentEntry& moment)
{
    Source source{moment.folder, moment.name, moment.path, EntryKind::File, false, moment.entry};
    switch (moment.entry.kind) {
    case DestinationKind::Folder:
        source.kind = EntryKind::Folder;
        break;
    case DestinationKind::Other:
        source.kind = EntryKind::Other;
        break;
    case DestinationKind::Link:
        source.link = true;
        break;
    case DestinationKind::File:
    case DestinationKind::Missing:
        break;
    }
    return source;
}

std::string inRunFolder(const std::string& run, const std::string& relative)
{
    std::string path = std::string(BackupEngine::kVersionsFolderName) + paths::kSeparator + run;
    if (!relative.empty())
        path += paths::kSeparator + relative;
    return path;
}

} // namespace

std::unique_ptr<Destination> openCopies(const std::string& location, const std::string& shown)
{
    std::error_code error;
    std::unique_ptr<Destination> copies = openDestination(location, error);
    if (!copies && isRemoteLocation(location))
        throw RestoreRefusal(error == std::errc::no_such_file_or_directory
                                 ? "Backup To Folder " + location + " does not exist."
                                 : error.message());
    if (!copies)
        throw RestoreRefusal("Cannot read the backup copies in " + shown + ": " + error.message());
    return copies;
}

RestoreResult restore(const RestoreRequest& request, RestoreObserver& observer, std::atomic<bool>& cancel)
{
    const bool remote = isRemoteLocation(request.destination);
    const BackupLayout layout(request.destination, request.items);
    const std::string dest =
        layout.destination().empty() ? std::string(1, paths::kSeparator) : layout.destination();
    const std::unique_ptr<Destination> copies = openCopies(remote ? request.destination : dest, dest);
    const VersionStore versions(*copies);
    std::optional<MomentTree> moment;
    if (request.at)
        moment.emplace(*copies, *request.at);
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
        if (moment)
            moment->visit(
                location->relative,
                [&](const std::string& below, const MomentEntry& entry) {
                    planned.entries.try_emplace(below, sourceOf(entry));
                    return true;
                },
                cancel);
        else
            collect(*copies, location->relative, planned.entries, location->relative.empty(), cancel);
        if (planned.entries.empty() && !request.at && !location->relative.empty()) {
            // No current copy: the newest kept version stands in for it.
            const std::vector<VersionStore::RunFolder> runs = versions.runFolders();
            for (auto run = runs.rbegin(); run != runs.rend() && planned.entries.empty(); ++run) {
                collect(*copies, inRunFolder(run->name, location->relative), planned.entries, false, cancel);
                if (!planned.entries.empty())
                    planned.fromRun = run->name;
            }
        }
        if (cancel.load()) {
            RestoreResult cancelled;
            cancelled.cancelled = true;
            return cancelled;
        }
        if (planned.entries.empty() && request.at)
            throw noCopyThenRefusal(path, dest);
        if (planned.entries.empty())
            throw noCopyRefusal(path, dest);
        planned.path = path;
        const std::string name = paths::fileNamePart(paths::withoutTrailingSeparator(path));
        planned.target = request.to ? (name.empty() ? *request.to : paths::join(*request.to, name)) : path;
        plan.push_back(std::move(planned));
    }
    std::optional<files::FileLock> lock;
    if (remote) {
        std::error_code error;
        // A server folder that cannot take the lock (read-only, say) can still be read.
        if (copies->takeRunLock(BackupEngine::kRestoreHolder, error) == RunLockResult::Busy)
            throw RestoreRefusal(destinationBusyText(request.destination, copies->runLockHolder()));
    } else {
        try {
            const std::string lockFile = paths::join(dest, BackupEngine::kRunLockName);
            lock = files::FileLock::acquire(lockFile, std::chrono::milliseconds(0));
            if (!lock)
                throw RestoreRefusal(
                    destinationBusyText(request.destination, files::FileLock::holderOf(lockFile)));
            lock->recordHolder(BackupEngine::kRestoreHolder);
        } catch (const std::system_error&) {
            // A destination that cannot take a lock file (read-only, say) can still be read.
        }
    }
    Restorer restorer(*copies, remote, observer, cancel, request.overwrite);
    std::vector<std::pair<std::string, std::string>> fromVersions;
    for (const Planned& planned : plan) {
        if (!planned.fromRun.empty())
            fromVersions.emplace_back(planned.path, planned.fromRun);
        if (!restorer.restore(planned.entries, planned.target))
            break;
    }
    RestoreResult result = restorer.result();
    result.fromVersions = std::move(fromVersions);
    if (moment)
        result.unrecordedRuns = moment->unrecorded();
    return result;
}

std::vector<KeptVersion> keptVersions(const std::string& destination, const std::vector<std::string>& items,
                                      const std::string& path)
{
    const bool remote = isRemoteLocation(destination);
    const BackupLayout layout(destination, items);
    std::optional<std::string> only;
    if (!path.empty()) {
        const auto location = layout.locate(path);
        if (!location)
            throw RestoreRefusal("Not a file or folder of this backup set: " + path);
        only = location->relative;
    }
    const std::string shown =
        layout.destination().empty() ? std::string(1, paths::kSeparator) : layout.destination();
    std::error_code error;
    std::unique_ptr<Destination> copies = openDestination(remote ? destination : shown, error);
    std::vector<KeptVersion> versions;
    if (!copies) {
        // A local folder that is not there keeps no versions; a server must be reached.
        if (remote)
            openCopies(destination, shown);
        return versions;
    }
    for (const VersionStore::RunFolder& folder : VersionStore(*copies).runFolders()) {
        std::map<std::string, Source> entries;
        const std::atomic<bool> never{false};
        collect(*copies, inRunFolder(folder.name, {}), entries, false, never);
        for (const auto& [relative, source] : entries) {
            if (source.kind == EntryKind::Folder || relative.empty())
                continue;
            if (only && !only->empty() && relative != *only &&
                relative.rfind(*only + paths::kSeparator, 0) != 0)
                continue;
            versions.push_back({folder.name, folder.time, relative, layout.originalOf(relative), source.path,
                                source.entry.size, source.entry.modified});
        }
    }
    return versions;
}

} // namespace stowmere::backup
