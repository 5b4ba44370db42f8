// SPDX-License-Identifier: GPL-3.0-or-later
#include "backup/SftpDestination.h"

#include "backup/ContentHash.h"
#include "backup/SftpAttributes.h"

#include "platform/Metadata.h"
#include "platform/TemporaryFile.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <fcntl.h>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

namespace stowmere::backup {

using files::CopyOutcome;
using files::UniqueFd;
using sftp::codeOf;
using sftp::kindOf;
using sftp::secondsOf;
using sftp::validName;

namespace {

/// A request to open path for writing, made with bits 0644 when it is created; how is
/// OpenExclusive or OpenTruncate.
sftp::Packet openForWriting(const std::string& path, std::uint32_t id, std::uint32_t how)
{
    sftp::Packet open(sftp::Open, id);
    sftp::Attributes bits;
    bits.flags = sftp::AttrPermissions;
    bits.permissions = 0644;
    open.text(path).u32(sftp::OpenWrite | sftp::OpenCreate | how).attributes(bits);
    return open;
}

/// Data goes out and comes in pieces of this size: a server answers each on its own, and
/// one round trip covers many.
constexpr std::size_t kChunk = std::size_t{64} * 1024;
/// Reads of a download in flight at once; their answers stay below the channel's window.
constexpr std::size_t kReadsAhead = 12;

DestinationEntry entryOf(std::string name, const sftp::Attributes& attributes)
{
    DestinationEntry entry;
    entry.name = std::move(name);
    entry.kind = kindOf(attributes);
    entry.size = attributes.size;
    entry.modified.tv_sec = attributes.modified;
    entry.mode = attributes.permissions & 07777;
    return entry;
}

/// Calls visit with path and with each folder above it, nearest first, down to the first
/// name below "/"; stops early, returning true, once visit does.
template <typename Visit> bool anyOfPathAndAbove(const std::string& path, Visit visit)
{
    for (std::size_t end = path.size(); end != std::string::npos && end > 0; end = path.rfind('/', end - 1)) {
        if (visit(std::string_view(path).substr(0, end)))
            return true;
    }
    return false;
}

std::string hostName()
{
    char name[256] = {};
    if (::gethostname(name, sizeof name - 1) != 0)
        return "unknown";
    return name;
}

} // namespace

class SftpDestination::Folder : public DestinationFolder {
public:
    Folder(std::string path, std::string relative)
        : DestinationFolder(std::move(relative)), path(std::move(path))
    {
    }
    std::string path; ///< on the server, absolute
};

std::string SftpDestination::pathIn(const FolderHandle& folder, std::string_view name)
{
    const std::string& base = static_cast<const Folder&>(*folder).path;
    if (name.empty())
        return base;
    std::string path = base;
    if (path.empty() || path.back() != '/')
        path += '/';
    path += name;
    return path;
}

// ----------------------------------------------------------------------------------------
// Opening

std::unique_ptr<SftpDestination> SftpDestination::open(const SftpUrl& url, const SftpConnectOptions& options,
                                                       SftpConnectFailure& failure, std::error_code& error)
{
    error.clear();
    std::unique_ptr<SftpConnection> connection = SftpConnection::open(url, options, failure);
    if (!connection) {
        error = codeOf(failure.kind == SftpConnectFailure::Kind::UnknownHost ||
                               failure.kind == SftpConnectFailure::Kind::ChangedHost
                           ? EPERM
                       : failure.kind == SftpConnectFailure::Kind::LoginRefused ||
                               failure.kind == SftpConnectFailure::Kind::KeyNeedsPassphrase
                           ? EACCES
                           : EHOSTUNREACH);
        return nullptr;
    }
    return open(url, std::move(connection), error);
}

std::unique_ptr<SftpDestination>
SftpDestination::open(const SftpUrl& url, std::shared_ptr<SftpConnection> connection, std::error_code& error)
{
    error.clear();
    std::unique_ptr<SftpDestination> destination(new SftpDestination(url, std::move(connection)));
    // The folder itself may be reached through links (the user names the place), but it
    // must be a folder.
    const std::uint32_t id = destination->m_connection->nextId();
    sftp::Packet packet(sftp::Stat, id);
    packet.text(url.path);
    sftp::Reply reply = destination->m_connection->call(packet, id);
    if (reply.type() == sftp::Attrs) {
        if (kindOf(reply.attributes()) != DestinationKind::Folder) {
            error = codeOf(ENOTDIR);
            return nullptr;
        }
        return destination;
    }
    error = destination->statusOf(std::move(reply));
    if (!error)
        error = codeOf(EIO);
    return nullptr;
}

SftpDestination::SftpDestination(SftpUrl url, std::shared_ptr<SftpConnection> connection)
    : m_url(std::move(url)), m_location(m_url.text()), m_connection(std::move(connection)),
      m_root(adopt(m_url.path, {}))
{
    m_randomState = std::random_device{}();
    m_randomState = (m_randomState << 32) ^ std::random_device{}();
}

SftpDestination::~SftpDestination()
{
    settleAllFolders();
    releaseRunLock();
}

FolderHandle SftpDestination::adopt(std::string path, std::string relative) const
{
    return std::make_shared<const Folder>(std::move(path), std::move(relative));
}

bool SftpDestination::knownFolder(const std::string& path)
{
    const std::lock_guard guard(m_foldersMutex);
    return m_knownFolders.count(path) > 0;
}

bool SftpDestination::surelyMissing(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos || slash == 0)
        return false;
    const std::lock_guard guard(m_foldersMutex);
    if (m_knownFolders.count(path) > 0)
        return false;
    if (m_madeFolders.count(path.substr(0, slash)) > 0)
        return true;
    return !m_missingPaths.empty() && anyOfPathAndAbove(path, [this](std::string_view above) {
        return m_missingPaths.count(std::string(above)) > 0;
    });
}

void SftpDestination::noteFolder(const std::string& path, bool made)
{
    const std::lock_guard guard(m_foldersMutex);
    m_knownFolders.insert(path);
    if (made)
        m_madeFolders.insert(path);
    // The folder and every folder above it are there now.
    if (!m_missingPaths.empty())
        anyOfPathAndAbove(path, [this](std::string_view above) {
            m_missingPaths.erase(std::string(above));
            return false;
        });
}

void SftpDestination::noteSeenFolder(const std::string& path, const sftp::Attributes& attributes)
{
    const std::lock_guard guard(m_foldersMutex);
    if (m_seenFolders.size() < kSeenFoldersMost)
        m_seenFolders.insert_or_assign(path, attributes);
}

std::optional<sftp::Attributes> SftpDestination::takeSeenFolder(const std::string& path)
{
    const std::lock_guard guard(m_foldersMutex);
    const auto found = m_seenFolders.find(path);
    if (found == m_seenFolders.end())
        return std::nullopt;
    const sftp::Attributes attributes = found->second;
    m_seenFolders.erase(found);
    return attributes;
}

void SftpDestination::dropSeenFolder(const std::string& path)
{
    const std::lock_guard guard(m_foldersMutex);
    m_seenFolders.erase(path);
}

void SftpDestination::noteMissing(const std::string& path)
{
    const std::lock_guard guard(m_foldersMutex);
    m_missingPaths.insert(path);
}

void SftpDestination::forgetFolders(const std::string& path, bool arrived)
{
    const std::lock_guard guard(m_foldersMutex);
    const auto below = [&path](const std::string& known) {
        return known.size() >= path.size() && known.compare(0, path.size(), path) == 0 &&
               (known.size() == path.size() || known[path.size()] == '/');
    };
    std::erase_if(m_knownFolders, below);
    std::erase_if(m_madeFolders, below);
    std::erase_if(m_missingPaths, below);
    std::erase_if(m_seenFolders, [&below](const auto& seen) { return below(seen.first); });
    if (arrived && !m_missingPaths.empty()) {
        // Something is there now, below every folder above it.
        anyOfPathAndAbove(path, [this, &path](std::string_view above) {
            if (above.size() < path.size())
                m_missingPaths.erase(std::string(above));
            return false;
        });
    }
    // What moves in may be a folder nobody made here.
    if (const std::size_t slash = path.rfind('/'); arrived && slash != std::string::npos)
        m_madeFolders.erase(path.substr(0, slash));
}

// ----------------------------------------------------------------------------------------
// Folders made without waiting

void SftpDestination::noteFoldersInDoubt()
{
    m_foldersInDoubt = !m_pending.empty() || !m_unmade.empty();
}

bool SftpDestination::pendingAbove(const std::string& path) const
{
    return !m_pendingPaths.empty() && anyOfPathAndAbove(path, [this](std::string_view above) {
        return m_pendingPaths.count(std::string(above)) > 0;
    });
}

std::error_code SftpDestination::unmadeAbove(const std::string& path, std::string* failed) const
{
    std::error_code error;
    if (!m_unmade.empty())
        anyOfPathAndAbove(path, [&](std::string_view above) {
            const auto found = m_unmade.find(std::string(above));
            if (found == m_unmade.end())
                return false;
            if (failed)
                *failed = found->second.failed;
            error = found->second.error;
            return true;
        });
    return error;
}

void SftpDestination::sendFolder(PendingFolder& folder)
{
    const std::uint32_t id = m_connection->nextId();
    sftp::Packet packet(sftp::Mkdir, id);
    sftp::Attributes attributes;
    attributes.flags = sftp::AttrPermissions;
    attributes.permissions = folder.mode & 07777;
    packet.text(folder.path).attributes(attributes);
    // Held back to travel with the writes that follow it.
    if (!m_connection->queue(packet))
        folder.id = id;
}

void SftpDestination::settleOldestFolder()
{
    PendingFolder folder = std::move(m_pending.front());
    m_pending.pop_front();
    m_pendingPaths.erase(folder.path);
    std::string failed = folder.path;
    std::error_code error;
    if (folder.id == 0) {
        // Not sent: the folder holding it could not be made, or the connection failed.
        error = unmadeAbove(folder.parent, &failed);
        if (!error) {
            sendFolder(folder);
            if (folder.id == 0)
                error = connectionError();
        }
    }
    if (folder.id != 0) {
        if (const std::error_code made = statusOf(m_connection->wait(folder.id)))
            error = madeAfterAll(folder.path, folder.mode, made);
    }
    if (error) {
        m_unmade[folder.path] = {error, failed};
        forgetFolders(folder.path);
    } else {
        // The folders waiting for this one go out now.
        for (PendingFolder& below : m_pending)
            if (below.id == 0 && below.parent == folder.path)
                sendFolder(below);
    }
    noteFoldersInDoubt();
}

std::error_code SftpDestination::madeAfterAll(const std::string& path, mode_t mode, std::error_code made)
{
    std::error_code looked;
    const auto attributes = lstat(path, looked);
    if (!attributes)
        return looked.value() == ENOENT ? made : looked;
    switch (kindOf(*attributes)) {
    case DestinationKind::Folder:
        // Made meanwhile by someone else: it may hold entries this run did not put there.
        forgetFolders(path);
        noteFolder(path, false);
        return {};
    case DestinationKind::Link: {
        if (const std::error_code removed = pathRequest(sftp::Remove, path))
            return removed;
        const std::uint32_t id = m_connection->nextId();
        sftp::Packet packet(sftp::Mkdir, id);
        sftp::Attributes attributes;
        attributes.flags = sftp::AttrPermissions;
        attributes.permissions = mode & 07777;
        packet.text(path).attributes(attributes);
        return statusOf(m_connection->call(packet, id));
    }
    default:
        return codeOf(EEXIST);
    }
}

std::error_code SftpDestination::awaitPath(const std::string& path, std::string* failed)
{
    if (!m_foldersInDoubt.load())
        return {};
    const std::lock_guard guard(m_pendingMutex);
    while (pendingAbove(path))
        settleOldestFolder();
    return unmadeAbove(path, failed);
}

bool SftpDestination::folderPending(const std::string& path, std::error_code& error)
{
    error.clear();
    if (!m_foldersInDoubt.load())
        return false;
    const std::lock_guard guard(m_pendingMutex);
    if ((error = unmadeAbove(path, nullptr)))
        return false;
    return pendingAbove(path);
}

bool SftpDestination::settleFoldersBefore(std::uint32_t id)
{
    if (!m_foldersInDoubt.load())
        return false;
    const std::lock_guard guard(m_pendingMutex);
    bool settled = false;
    // Ids grow as requests go out (and may wrap around).
    while (!m_pending.empty() &&
           (m_pending.front().id == 0 || static_cast<std::int32_t>(m_pending.front().id - id) < 0)) {
        settleOldestFolder();
        settled = true;
    }
    return settled;
}

void SftpDestination::settleAllFolders()
{
    const std::lock_guard guard(m_pendingMutex);
    while (!m_pending.empty())
        settleOldestFolder();
}

std::error_code SftpDestination::awaitFolder(std::string_view relative, std::string& failed)
{
    failed.clear();
    std::string path = pathIn(m_root, {});
    if (!relative.empty()) {
        if (path.empty() || path.back() != '/')
            path += '/';
        path += relative;
    }
    std::string failedPath;
    const std::error_code error = awaitPath(path, &failedPath);
    if (error) {
        const std::string& base = pathIn(m_root, {});
        failed = failedPath.size() > base.size() && failedPath.compare(0, base.size(), base) == 0
                     ? failedPath.substr(base.size())
                     : failedPath;
        while (!failed.empty() && failed.front() == '/')
            failed.erase(0, 1);
    }
    return error;
}

// ----------------------------------------------------------------------------------------
// Requests

std::error_code SftpDestination::connectionError()
{
    std::error_code error = m_connection->failureCode();
    return error ? error : codeOf(ECONNRESET);
}

std::error_code SftpDestination::statusOf(sftp::Reply reply)
{
    if (reply.type() == 0)
        return connectionError();
    if (reply.type() != sftp::Status)
        return codeOf(EPROTO);
    const std::uint32_t code = reply.u32();
    if (!reply.ok())
        return codeOf(EPROTO);
    return code == sftp::Ok ? std::error_code() : codeOf(errnoOfStatus(code));
}

std::optional<sftp::Attributes> SftpDestination::lstat(const std::string& path, std::error_code& error)
{
    if ((error = awaitPath(path)))
        return std::nullopt;
    const std::uint32_t id = m_connection->nextId();
    sftp::Packet packet(sftp::Lstat, id);
    packet.text(path);
    sftp::Reply reply = m_connection->call(packet, id);
    if (reply.type() == sftp::Attrs) {
        error.clear();
        sftp::Attributes attributes = reply.attributes();
        if (reply.ok())
            return attributes;
        error = codeOf(EPROTO);
        return std::nullopt;
    }
    error = statusOf(std::move(reply));
    if (!error)
        error = codeOf(EPROTO);
    return std::nullopt;
}

std::error_code SftpDestination::pathRequest(sftp::Type type, const std::string& path)
{
    if (const std::error_code unmade = awaitPath(path))
        return unmade;
    const std::uint32_t id = m_connection->nextId();
    sftp::Packet packet(type, id);
    packet.text(path);
    if (type == sftp::Mkdir)
        packet.attributes({});
    return statusOf(m_connection->call(packet, id));
}

std::error_code SftpDestination::setAttributes(const std::string& path, const sftp::Attributes& attributes)
{
    if (const std::error_code unmade = awaitPath(path))
        return unmade;
    dropSeenFolder(path);
    const std::uint32_t id = m_connection->nextId();
    sftp::Packet packet(sftp::Setstat, id);
    packet.text(path).attributes(attributes);
    return statusOf(m_connection->call(packet, id));
}

std::error_code SftpDestination::renamePath(const std::string& from, const std::string& to, bool replace)
{
    if (std::error_code unmade = awaitPath(from); unmade || (unmade = awaitPath(to)))
        return unmade;
    const std::uint32_t id = m_connection->nextId();
    if (replace && m_connection->supports("posix-rename@openssh.com")) {
        sftp::Packet packet(sftp::Extended, id);
        packet.text("posix-rename@openssh.com").text(from).text(to);
        return statusOf(m_connection->call(packet, id));
    }
    sftp::Packet packet(sftp::Rename, id);
    packet.text(from).text(to);
    std::error_code error = statusOf(m_connection->call(packet, id));
    if (error && replace) {
        // Without posix-rename a server renames only onto a free name: the old entry goes
        // first, and for a moment the name is missing (never partial).
        std::error_code ignored;
        const auto target = lstat(to, ignored);
        if (target && kindOf(*target) != DestinationKind::Folder && !pathRequest(sftp::Remove, to)) {
            const std::uint32_t again = m_connection->nextId();
            sftp::Packet retry(sftp::Rename, again);
            retry.text(from).text(to);
            error = statusOf(m_connection->call(retry, again));
        }
    }
    return error;
}

std::vector<std::pair<std::string, sftp::Attributes>> SftpDestination::listPath(const std::string& path,
                                                                                std::error_code& error)
{
    std::vector<std::pair<std::string, sftp::Attributes>> entries;
    if ((error = awaitPath(path)))
        return entries;
    std::uint32_t id = m_connection->nextId();
    sftp::Packet open(sftp::Opendir, id);
    open.text(path);
    sftp::Reply reply = m_connection->call(open, id);
    if (reply.type() != sftp::Handle) {
        error = statusOf(std::move(reply));
        if (!error)
            error = codeOf(EPROTO);
        return entries;
    }
    const std::string handle = reply.text();
    error.clear();
    for (;;) {
        id = m_connection->nextId();
        sftp::Packet read(sftp::Readdir, id);
        read.text(handle);
        reply = m_connection->call(read, id);
        if (reply.type() != sftp::Name) {
            const std::error_code end = statusOf(std::move(reply));
            if (end.value() != ENODATA || end.category() != std::generic_category())
                error = end;
            break;
        }
        const std::uint32_t count = reply.u32();
        for (std::uint32_t at = 0; at < count && reply.ok(); ++at) {
            std::string name = reply.text();
            reply.view(); // the long form, for people
            sftp::Attributes attributes = reply.attributes();
            if (reply.ok() && name != "." && name != "..")
                entries.emplace_back(std::move(name), attributes);
        }
        if (!reply.ok()) {
            error = codeOf(EPROTO);
            break;
        }
    }
    // Nothing follows from how the close of a listing went: its answer is not waited for.
    id = m_connection->nextId();
    sftp::Packet close(sftp::Close, id);
    close.text(handle);
    if (!m_connection->queue(close))
        m_connection->discard(id);
    return entries;
}

// ----------------------------------------------------------------------------------------
// Folders

FolderHandle SftpDestination::openFolder(std::string_view relative, std::error_code& error)
{
    error.clear();
    if (!relative.empty() && relative.front() == '/') {
        error = codeOf(EXDEV);
        return nullptr;
    }
    std::vector<std::string> names;
    for (std::size_t from = 0; from <= relative.size();) {
        std::size_t end = relative.find('/', from);
        if (end == std::string_view::npos)
            end = relative.size();
        const std::string_view name = relative.substr(from, end - from);
        if (name == "..") {
            error = codeOf(EXDEV);
            return nullptr;
        }
        if (!name.empty() && name != ".")
            names.emplace_back(name);
        from = end + 1;
    }
    // Every step is looked at without following it, all asked at once; a step seen to be
    // a folder before needs no look, and one in a folder made here that was not made in it
    // is not there.
    std::vector<std::uint32_t> ids;
    std::vector<std::string> looked;
    std::string path = m_url.path;
    std::string clean;
    for (const std::string& name : names) {
        if (path != "/")
            path += '/';
        path += name;
        clean = joinRelative(clean, name);
        if (knownFolder(path))
            continue;
        // Below a folder that could not be made: its reason, not a missing name.
        if (folderPending(path, error); error)
            break;
        if (surelyMissing(path)) {
            error = codeOf(ENOENT);
            break;
        }
        const std::uint32_t id = m_connection->nextId();
        sftp::Packet packet(sftp::Lstat, id);
        packet.text(path);
        if (m_connection->queue(packet)) {
            error = connectionError();
            break;
        }
        ids.push_back(id);
        looked.push_back(path);
    }
    for (std::size_t at = 0; at < ids.size(); ++at) {
        sftp::Reply reply = m_connection->wait(ids[at]);
        if (error)
            continue;
        if (reply.type() != sftp::Attrs) {
            error = statusOf(std::move(reply));
            if (!error)
                error = codeOf(EPROTO);
            else if (error == std::errc::no_such_file_or_directory)
                noteMissing(looked[at]);
            continue;
        }
        const DestinationKind kind = kindOf(reply.attributes());
        if (kind == DestinationKind::Link)
            error = codeOf(ELOOP);
        else if (kind != DestinationKind::Folder)
            error = codeOf(ENOTDIR);
        else {
            noteFolder(looked[at], false);
            noteSeenFolder(looked[at], reply.attributes());
        }
    }
    if (error)
        return nullptr;
    return adopt(path, clean);
}

FolderHandle SftpDestination::openFolder(const FolderHandle& parent, const std::string& name,
                                         std::error_code& error)
{
    if (!validName(name)) {
        error = codeOf(EINVAL);
        return nullptr;
    }
    const std::string path = pathIn(parent, name);
    if (knownFolder(path)) {
        error.clear();
        return adopt(path, joinRelative(parent->relative(), name));
    }
    if (folderPending(path, error); error)
        return nullptr;
    if (surelyMissing(path)) {
        error = codeOf(ENOENT);
        return nullptr;
    }
    const auto attributes = lstat(path, error);
    if (!attributes) {
        if (error == std::errc::no_such_file_or_directory)
            noteMissing(path);
        return nullptr;
    }
    const DestinationKind kind = kindOf(*attributes);
    if (kind != DestinationKind::Folder) {
        error = codeOf(kind == DestinationKind::Link ? ELOOP : ENOTDIR);
        return nullptr;
    }
    noteFolder(path, false);
    noteSeenFolder(path, *attributes);
    return adopt(path, joinRelative(parent->relative(), name));
}

FolderHandle SftpDestination::makeFolder(const FolderHandle& parent, const std::string& name, mode_t mode,
                                         bool& created, std::error_code& error)
{
    created = false;
    error.clear();
    if (!validName(name)) {
        error = codeOf(EINVAL);
        return nullptr;
    }
    const std::string path = pathIn(parent, name);
    if (FolderHandle handle = makeWithoutWaiting(parent, name, mode, error); handle || error) {
        created = static_cast<bool>(handle);
        return handle;
    }
    const auto make = [&] {
        const std::uint32_t id = m_connection->nextId();
        sftp::Packet packet(sftp::Mkdir, id);
        sftp::Attributes attributes;
        attributes.flags = sftp::AttrPermissions;
        attributes.permissions = mode & 07777;
        packet.text(path).attributes(attributes);
        return statusOf(m_connection->call(packet, id));
    };
    const std::error_code made = make();
    if (!made) {
        created = true;
        noteFolder(path, true);
        return adopt(path, joinRelative(parent->relative(), name));
    }
    std::error_code looked;
    const auto attributes = lstat(path, looked);
    if (!attributes) {
        error = looked.value() == ENOENT ? made : looked;
        return nullptr;
    }
    switch (kindOf(*attributes)) {
    case DestinationKind::Folder:
        noteFolder(path, false);
        return adopt(path, joinRelative(parent->relative(), name));
    case DestinationKind::Link:
        // A link where a folder belongs: following it would write elsewhere. The link
        // holds no data; the folder takes its place.
        if ((error = pathRequest(sftp::Remove, path)) || (error = make()))
            return nullptr;
        created = true;
        noteFolder(path, true);
        return adopt(path, joinRelative(parent->relative(), name));
    default:
        error = codeOf(EEXIST);
        return nullptr;
    }
}

FolderHandle SftpDestination::makeWithoutWaiting(const FolderHandle& parent, const std::string& name,
                                                 mode_t mode, std::error_code& error)
{
    const std::string path = pathIn(parent, name);
    const std::string parentPath = pathIn(parent, {});
    const std::lock_guard guard(m_pendingMutex);
    // Made again after it failed: the failure is forgotten, the answer tells anew.
    m_unmade.erase(path);
    if ((error = unmadeAbove(parentPath, nullptr)))
        return nullptr;
    const bool parentThere = parentPath == pathIn(m_root, {}) || knownFolder(parentPath);
    if (!parentThere || knownFolder(path) || !surelyMissing(path)) {
        noteFoldersInDoubt();
        return nullptr;
    }
    if (m_pending.size() >= kFoldersAhead) {
        settleOldestFolder();
        if ((error = unmadeAbove(parentPath, nullptr)))
            return nullptr;
    }
    PendingFolder folder{path, parentPath, mode, 0};
    // Below a folder whose answer has not come, it waits for that answer to be sent.
    if (!pendingAbove(parentPath)) {
        sendFolder(folder);
        if (folder.id == 0) {
            error = connectionError();
            return nullptr;
        }
    }
    m_pendingPaths.insert(path);
    m_pending.push_back(std::move(folder));
    noteFolder(path, true);
    noteFoldersInDoubt();
    return adopt(path, joinRelative(parent->relative(), name));
}

std::vector<DestinationEntry> SftpDestination::list(const FolderHandle& folder, std::error_code& error)
{
    std::vector<DestinationEntry> entries;
    for (auto& [name, attributes] : listPath(pathIn(folder, {}), error)) {
        // The listing tells each entry itself, as LSTAT would: a folder in it is one.
        if (kindOf(attributes) == DestinationKind::Folder && validName(name)) {
            const std::string path = pathIn(folder, name);
            noteFolder(path, false);
            noteSeenFolder(path, attributes);
        }
        entries.push_back(entryOf(std::move(name), attributes));
    }
    return entries;
}

DestinationEntry SftpDestination::status(const FolderHandle& folder, const std::string& name)
{
    DestinationEntry missing;
    missing.name = name;
    std::error_code error;
    if (!validName(name))
        return missing;
    const auto attributes = lstat(pathIn(folder, name), error);
    return attributes ? entryOf(name, *attributes) : missing;
}

DestinationEntry SftpDestination::status(const FolderHandle& folder)
{
    if (const auto seen = takeSeenFolder(pathIn(folder, {})))
        return entryOf({}, *seen);
    std::error_code error;
    const auto attributes = lstat(pathIn(folder, {}), error);
    return attributes ? entryOf({}, *attributes) : DestinationEntry{};
}

std::optional<std::string> SftpDestination::readLink(const FolderHandle& folder, const std::string& name,
                                                     std::error_code& error)
{
    if (!validName(name)) {
        error = codeOf(EINVAL);
        return std::nullopt;
    }
    const std::string path = pathIn(folder, name);
    if ((error = awaitPath(path)))
        return std::nullopt;
    const std::uint32_t id = m_connection->nextId();
    sftp::Packet packet(sftp::Readlink, id);
    packet.text(path);
    sftp::Reply reply = m_connection->call(packet, id);
    if (reply.type() == sftp::Name && reply.u32() >= 1) {
        std::string text = reply.text();
        if (reply.ok()) {
            error.clear();
            return text;
        }
    }
    error = reply.type() == sftp::Status ? statusOf(std::move(reply)) : codeOf(EPROTO);
    if (!error)
        error = codeOf(EPROTO);
    return std::nullopt;
}

UniqueFd SftpDestination::openFile(const FolderHandle& folder, const std::string& name,
                                   std::error_code& error)
{
    if (!validName(name)) {
        error = codeOf(EINVAL);
        return {};
    }
    const std::string path = pathIn(folder, name);
    auto attributes = lstat(path, error);
    if (!attributes)
        return {};
    const DestinationKind kind = kindOf(*attributes);
    if (kind != DestinationKind::File) {
        error = codeOf(kind == DestinationKind::Link     ? ELOOP
                       : kind == DestinationKind::Folder ? EISDIR
                                                         : EINVAL);
        return {};
    }
    // The copy is fetched whole into an unnamed local file, which the caller reads like any
    // other; it vanishes with its descriptor.
    const char* temporary = std::getenv("TMPDIR");
    const std::string local = temporary && *temporary ? temporary : "/var/tmp";
    UniqueFd fd(::open(local.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600));
    if (!fd) {
        std::string pattern = local + "/.stowmere-fetch-XXXXXX";
        fd.reset(::mkostemp(pattern.data(), O_CLOEXEC));
        if (!fd) {
            error = codeOf(errno);
            return {};
        }
        ::unlink(pattern.c_str());
    }

    std::uint32_t id = m_connection->nextId();
    sftp::Packet open(sftp::Open, id);
    open.text(path).u32(sftp::OpenRead).attributes({});
    sftp::Reply reply = m_connection->call(open, id);
    if (reply.type() != sftp::Handle) {
        error = statusOf(std::move(reply));
        if (!error)
            error = codeOf(EPROTO);
        return {};
    }
    const std::string handle = reply.text();
    struct Read {
        std::uint32_t id;
        std::uint64_t offset;
        std::uint32_t length;
    };
    std::deque<Read> reads;
    std::uint64_t next = 0;
    std::uint64_t end = std::numeric_limits<std::uint64_t>::max();
    const auto ask = [&](std::uint64_t offset, std::uint32_t length) {
        const std::uint32_t readId = m_connection->nextId();
        sftp::Packet packet(sftp::Read, readId);
        packet.text(handle).u64(offset).u32(length);
        if (m_connection->send(packet))
            return false;
        reads.push_back({readId, offset, length});
        return true;
    };
    error.clear();
    for (;;) {
        while (!error && reads.size() < kReadsAhead && next < end && next < attributes->size + kChunk) {
            if (!ask(next, kChunk)) {
                error = connectionError();
                break;
            }
            next += kChunk;
        }
        if (reads.empty())
            break;
        const Read read = reads.front();
        reads.pop_front();
        reply = m_connection->wait(read.id);
        if (error)
            continue;
        if (reply.type() == sftp::Data) {
            const std::string_view data = reply.view();
            if (!reply.ok() || data.size() > read.length) {
                error = codeOf(EPROTO);
                continue;
            }
            if (::pwrite(fd.get(), data.data(), data.size(), static_cast<off_t>(read.offset)) !=
                static_cast<ssize_t>(data.size())) {
                error = codeOf(errno);
                continue;
            }
            // A short answer is no end of file: the rest is asked for again.
            if (data.size() < read.length &&
                !ask(read.offset + data.size(), read.length - static_cast<std::uint32_t>(data.size())))
                error = connectionError();
            continue;
        }
        const std::error_code status = statusOf(std::move(reply));
        if (status.value() == ENODATA && status.category() == std::generic_category())
            end = std::min(end, read.offset);
        else
            error = status ? status : codeOf(EPROTO);
    }
    id = m_connection->nextId();
    sftp::Packet close(sftp::Close, id);
    close.text(handle);
    m_connection->call(close, id);
    if (error)
        return {};
    if (end != std::numeric_limits<std::uint64_t>::max() &&
        ::ftruncate(fd.get(), static_cast<off_t>(end)) != 0) {
        error = codeOf(errno);
        return {};
    }
    // The local file tells the copy's bits and times, as a file opened on a local disk
    // does: a restore gives them to what it writes.
    // Owner first: a change of owner clears set-uid. Only root may give it away, and the
    // file stays the reader's own otherwise.
    if ((attributes->flags & sftp::AttrOwner) && ::fchown(fd.get(), attributes->uid, attributes->gid) != 0 &&
        (attributes->permissions & (S_ISUID | S_ISGID)))
        attributes->permissions &= ~static_cast<std::uint32_t>(S_ISUID | S_ISGID);
    if (attributes->flags & sftp::AttrPermissions)
        ::fchmod(fd.get(), static_cast<mode_t>(attributes->permissions & 07777));
    if (attributes->flags & sftp::AttrTimes) {
        const timespec times[2] = {{static_cast<time_t>(attributes->accessed), 0},
                                   {static_cast<time_t>(attributes->modified), 0}};
        ::futimens(fd.get(), times);
    }
    ::lseek(fd.get(), 0, SEEK_SET);
    return fd;
}

// ----------------------------------------------------------------------------------------
// Changes

std::error_code SftpDestination::setMode(const FolderHandle& folder, const std::string& name, mode_t mode)
{
    if (!validName(name))
        return codeOf(EINVAL);
    const std::string path = pathIn(folder, name);
    std::error_code error;
    const auto attributes = lstat(path, error);
    if (!attributes)
        return error;
    // The server would change what a link leads to; a link's own bits mean nothing.
    if (kindOf(*attributes) == DestinationKind::Link)
        return {};
    sftp::Attributes change;
    change.flags = sftp::AttrPermissions;
    change.permissions = mode & 07777;
    return setAttributes(path, change);
}

std::error_code SftpDestination::setMode(const FolderHandle& folder, mode_t mode)
{
    sftp::Attributes change;
    change.flags = sftp::AttrPermissions;
    change.permissions = mode & 07777;
    return setAttributes(pathIn(folder, {}), change);
}

files::MetadataLoss SftpDestination::lossBeyondOwners(const files::Metadata& metadata) const
{
    files::MetadataLoss loss;
    const std::error_code unsupported = codeOf(EOPNOTSUPP);
    for (const auto& attribute : metadata.attributes)
        (files::isAclAttribute(attribute.first) ? loss.acls : loss.attributes) = unsupported;
    return loss;
}

files::MetadataLoss SftpDestination::setOwnerOf(const std::string& path, const files::Metadata& metadata)
{
    files::MetadataLoss loss = lossBeyondOwners(metadata);
    if (m_ownersRefused.load()) {
        loss.owner = codeOf(EPERM);
        return loss;
    }
    sftp::Attributes change;
    change.flags = sftp::AttrOwner;
    change.uid = metadata.owner;
    change.gid = metadata.group;
    if (const std::error_code error = setAttributes(path, change)) {
        loss.owner = error;
        if (error.value() == EPERM || error.value() == EACCES)
            m_ownersRefused = true;
    }
    return loss;
}

files::MetadataLoss SftpDestination::setMetadata(const FolderHandle& folder, const std::string& name,
                                                 const files::Metadata& metadata)
{
    if (!validName(name))
        return lossBeyondOwners(metadata);
    const std::string path = pathIn(folder, name);
    std::error_code error;
    const auto attributes = lstat(path, error);
    // SETSTAT follows a link: a link keeps the owner the server gave it.
    if (!attributes || kindOf(*attributes) == DestinationKind::Link)
        return lossBeyondOwners(metadata);
    return setOwnerOf(path, metadata);
}

files::MetadataLoss SftpDestination::setMetadata(const FolderHandle& folder, const files::Metadata& metadata)
{
    return setOwnerOf(pathIn(folder, {}), metadata);
}

std::error_code SftpDestination::setTimes(const FolderHandle& folder, const std::string& name,
                                          const timespec& accessed, const timespec& modified)
{
    if (!validName(name))
        return codeOf(EINVAL);
    const std::string path = pathIn(folder, name);
    sftp::Attributes change;
    change.flags = sftp::AttrTimes;
    change.accessed = secondsOf(accessed);
    change.modified = secondsOf(modified);
    std::error_code error;
    const auto attributes = lstat(path, error);
    if (!attributes)
        return error;
    if (kindOf(*attributes) == DestinationKind::Link) {
        // Only lsetstat changes a link itself; without it the link keeps the time it got.
        if (!m_connection->supports("lsetstat@openssh.com"))
            return {};
        const std::uint32_t id = m_connection->nextId();
        sftp::Packet packet(sftp::Extended, id);
        packet.text("lsetstat@openssh.com").text(path).attributes(change);
        return statusOf(m_connection->call(packet, id));
    }
    return setAttributes(path, change);
}

void SftpDestination::finishFolders(std::span<FolderFinish> folders)
{
    // Folders of one depth hold none of each other: theirs go out together, a depth at a
    // time in the order given (deepest first), so a folder closed to its owner is closed
    // only once everything below it is done.
    const auto depth = [](const FolderFinish& folder) {
        const std::string& relative = folder.parent->relative();
        return relative.empty() ? 0 : 1 + std::count(relative.begin(), relative.end(), '/');
    };
    std::size_t from = 0;
    while (from < folders.size()) {
        std::size_t to = from + 1;
        while (to < folders.size() && depth(folders[to]) == depth(folders[from]))
            ++to;
        finishFoldersOfOneDepth(folders.subspan(from, to - from));
        from = to;
    }
}

void SftpDestination::finishFoldersOfOneDepth(std::span<FolderFinish> folders)
{
    struct Step {
        FolderFinish* folder = nullptr;
        std::string path;
        bool skip = false;
        bool withOwner = false; ///< the owner goes with the bits and times
        bool ownerFirst = false;
        std::uint32_t id = 0;
    };
    std::vector<Step> steps;
    steps.reserve(folders.size());
    for (FolderFinish& folder : folders) {
        folder.loss.add(lossBeyondOwners(folder.metadata));
        Step step;
        step.folder = &folder;
        step.skip = !validName(folder.name);
        if (!step.skip) {
            step.path = pathIn(folder.parent, folder.name);
            dropSeenFolder(step.path);
        }
        // A folder that could not be made has nothing to be given.
        if (!step.skip && awaitPath(step.path))
            step.skip = true;
        steps.push_back(std::move(step));
    }
    const auto sendEach = [this](std::vector<Step>& all, const auto& packetFor) {
        for (Step& step : all) {
            step.id = 0;
            if (step.skip)
                continue;
            const std::uint32_t id = m_connection->nextId();
            std::optional<sftp::Packet> packet = packetFor(step, id);
            if (packet && !m_connection->queue(*packet))
                step.id = id;
        }
    };
    // What is not known to be a folder is looked at first: SETSTAT follows a link, and a
    // link swapped in where a folder was keeps what the server gave it.
    sendEach(steps, [this](Step& step, std::uint32_t id) -> std::optional<sftp::Packet> {
        if (knownFolder(step.path))
            return std::nullopt;
        sftp::Packet look(sftp::Lstat, id);
        look.text(step.path);
        return look;
    });
    for (Step& step : steps) {
        if (step.id == 0)
            continue;
        sftp::Reply reply = m_connection->wait(step.id);
        sftp::Attributes attributes;
        if (reply.type() == sftp::Attrs)
            attributes = reply.attributes();
        if (reply.type() != sftp::Attrs || !reply.ok() || kindOf(attributes) != DestinationKind::Folder)
            step.skip = true;
    }
    const auto bitsAndTimes = [](const FolderFinish& folder) {
        sftp::Attributes change;
        change.flags = sftp::AttrPermissions | sftp::AttrTimes;
        change.permissions = files::safeModeBits(folder.mode & 07777, folder.loss);
        change.accessed = secondsOf(folder.accessed);
        change.modified = secondsOf(folder.modified);
        return change;
    };
    // Owners with the bits and times in one request, but for set-uid and set-gid, which a
    // change of owner after them would clear: their owner goes first, on its own.
    sendEach(steps, [&](Step& step, std::uint32_t id) -> std::optional<sftp::Packet> {
        FolderFinish& folder = *step.folder;
        sftp::Attributes change;
        if (m_ownersRefused.load()) {
            folder.loss.owner = codeOf(EPERM);
            change = bitsAndTimes(folder);
        } else if (folder.mode & (S_ISUID | S_ISGID)) {
            step.ownerFirst = true;
            change.flags = sftp::AttrOwner;
        } else {
            step.withOwner = true;
            change = bitsAndTimes(folder);
            change.flags |= sftp::AttrOwner;
        }
        change.uid = folder.metadata.owner;
        change.gid = folder.metadata.group;
        sftp::Packet set(sftp::Setstat, id);
        set.text(step.path).attributes(change);
        return set;
    });
    std::vector<Step> again;
    for (Step& step : steps) {
        if (step.id == 0)
            continue;
        const std::error_code error = statusOf(m_connection->wait(step.id));
        if (!error && !step.ownerFirst)
            continue;
        if (error && (step.withOwner || step.ownerFirst)) {
            // The bits and times alone tell whether it was the owner that was refused.
            step.folder->loss.owner = error;
            if (error.value() == EPERM || error.value() == EACCES)
                m_ownersRefused = true;
        }
        if (step.withOwner || step.ownerFirst)
            again.push_back(step);
    }
    sendEach(again, [&](Step& step, std::uint32_t id) -> std::optional<sftp::Packet> {
        sftp::Packet set(sftp::Setstat, id);
        set.text(step.path).attributes(bitsAndTimes(*step.folder));
        return set;
    });
    // As when given one by one: bits or times a server refuses leave the folder as it is.
    for (const Step& step : again)
        if (step.id != 0)
            m_connection->wait(step.id);
}

std::error_code SftpDestination::rename(const FolderHandle& from, const std::string& fromName,
                                        const FolderHandle& to, const std::string& toName)
{
    if (!validName(fromName) || !validName(toName))
        return codeOf(EINVAL);
    const std::string fromPath = pathIn(from, fromName);
    const std::string toPath = pathIn(to, toName);
    forgetFolders(fromPath);
    forgetFolders(toPath, true);
    return renamePath(fromPath, toPath, true);
}

std::error_code SftpDestination::removeTree(const std::string& path)
{
    std::error_code error;
    auto entries = listPath(path, error);
    if (error && error.value() == EACCES) {
        // A read-only folder must open up before its entries can go.
        sftp::Attributes open;
        open.flags = sftp::AttrPermissions;
        open.permissions = S_IRWXU;
        setAttributes(path, open);
        entries = listPath(path, error);
    }
    if (error)
        return error;
    // Files and links go in one burst; folders one by one, below first.
    std::vector<std::uint32_t> ids;
    std::error_code first;
    for (const auto& [name, attributes] : entries) {
        std::string below = path;
        below += '/';
        below += name;
        if (kindOf(attributes) == DestinationKind::Folder) {
            if (!(attributes.permissions & S_IWUSR) || !(attributes.permissions & S_IXUSR)) {
                sftp::Attributes open;
                open.flags = sftp::AttrPermissions;
                open.permissions = S_IRWXU;
                setAttributes(below, open);
            }
            if (const std::error_code failed = removeTree(below); failed && !first)
                first = failed;
            continue;
        }
        const std::uint32_t id = m_connection->nextId();
        sftp::Packet packet(sftp::Remove, id);
        packet.text(below);
        if (m_connection->send(packet))
            break;
        ids.push_back(id);
    }
    for (const std::uint32_t id : ids) {
        const std::error_code failed = statusOf(m_connection->wait(id));
        if (failed && !first && failed.value() != ENOENT)
            first = failed;
    }
    if (first)
        return first;
    return pathRequest(sftp::Rmdir, path);
}

std::error_code SftpDestination::remove(const FolderHandle& folder, const std::string& name)
{
    if (!validName(name))
        return codeOf(EINVAL);
    const std::string path = pathIn(folder, name);
    forgetFolders(path);
    std::error_code error;
    const auto attributes = lstat(path, error);
    if (!attributes)
        return error;
    if (kindOf(*attributes) == DestinationKind::Folder)
        return removeTree(path);
    return pathRequest(sftp::Remove, path);
}

std::error_code SftpDestination::removeEmptyFolder(const FolderHandle& folder, const std::string& name)
{
    if (!validName(name))
        return codeOf(EINVAL);
    const std::string path = pathIn(folder, name);
    forgetFolders(path);
    const std::error_code error = pathRequest(sftp::Rmdir, path);
    if (!error)
        return {};
    // Servers answer a folder that is not empty with a plain failure.
    std::error_code listed;
    const auto entries = listPath(path, listed);
    if (!listed && !entries.empty())
        return codeOf(ENOTEMPTY);
    return error;
}

std::size_t SftpDestination::removeLeftovers(const FolderHandle& folder)
{
    std::error_code error;
    const std::string path = pathIn(folder, {});
    std::vector<std::uint32_t> ids;
    for (const auto& [name, attributes] : listPath(path, error)) {
        if (!files::TemporaryFile::isTemporaryName(name) || kindOf(attributes) == DestinationKind::Folder)
            continue;
        const std::uint32_t id = m_connection->nextId();
        sftp::Packet packet(sftp::Remove, id);
        std::string leftover = path;
        leftover += '/';
        leftover += name;
        packet.text(leftover);
        if (m_connection->send(packet))
            break;
        ids.push_back(id);
    }
    std::size_t removed = 0;
    for (const std::uint32_t id : ids)
        removed += statusOf(m_connection->wait(id)) ? 0 : 1;
    return removed;
}

std::string SftpDestination::freshTemporaryName()
{
    static constexpr std::string_view kLetters =
        "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    std::string name(files::TemporaryFile::kPrefix);
    const std::lock_guard guard(m_randomMutex);
    for (std::size_t at = 0; at < files::TemporaryFile::kSuffixLength; ++at) {
        // xorshift: names need only differ, not be secret (they are created exclusively).
        m_randomState ^= m_randomState << 13;
        m_randomState ^= m_randomState >> 7;
        m_randomState ^= m_randomState << 17;
        name += kLetters[m_randomState % kLetters.size()];
    }
    return name;
}

// ----------------------------------------------------------------------------------------
// Appending

/// A file of the destination's own that grows at its end. Each append is sent before it
/// returns, so the server writes it whatever becomes of this process; its answer is
/// collected with a later append (a run records a copy per round trip otherwise), and a
/// failure is told by the append that finds it, which then counts for none: the journal's
/// reader skips a torn or damaged line, and the keeper stops adding to a failed journal.
class SftpDestination::Appender final : public DestinationAppender {
public:
    /// Appends whose answers may be outstanding at once.
    static constexpr std::size_t kInFlight = 64;

    Appender(SftpDestination& destination, std::string handle, std::uint64_t size)
        : m_destination(destination), m_handle(std::move(handle)), m_sizeAtOpen(size), m_end(size)
    {
    }

    ~Appender() override
    {
        collect(0);
        SftpConnection& connection = *m_destination.m_connection;
        const std::uint32_t id = connection.nextId();
        // Waited for: a server that works on requests out of order (rclone) may otherwise
        // open the file again before this handle has let go of what it wrote.
        sftp::Packet close(sftp::Close, id);
        close.text(m_handle);
        connection.call(close, id);
    }

    std::error_code append(std::string_view bytes) override
    {
        collect(kInFlight);
        if (m_failed)
            return m_failed;
        SftpConnection& connection = *m_destination.m_connection;
        while (!bytes.empty()) {
            const std::size_t count = std::min(bytes.size(), kChunk);
            const std::uint32_t id = connection.nextId();
            sftp::Packet write(sftp::Write, id);
            write.text(m_handle).u64(m_end);
            std::memcpy(write.data(count), bytes.data(), count);
            if (const std::error_code error = connection.send(write)) {
                m_failed = error;
                return error;
            }
            m_sent.push_back(id);
            bytes.remove_prefix(count);
            m_end += count;
        }
        collect(kInFlight);
        return m_failed;
    }

    std::uint64_t sizeAtOpen() const override { return m_sizeAtOpen; }

private:
    /// Waits for answers until no more than most are outstanding.
    void collect(std::size_t most)
    {
        while (m_sent.size() > most) {
            const std::error_code error =
                m_destination.statusOf(m_destination.m_connection->wait(m_sent.front()));
            m_sent.pop_front();
            if (error && !m_failed)
                m_failed = error;
        }
    }

    SftpDestination& m_destination;
    std::string m_handle;
    std::uint64_t m_sizeAtOpen;
    std::uint64_t m_end;
    std::deque<std::uint32_t> m_sent;
    std::error_code m_failed;
};

std::unique_ptr<DestinationAppender>
SftpDestination::openAppend(const FolderHandle& folder, const std::string& name, std::error_code& error)
{
    error.clear();
    if (!validName(name)) {
        error = codeOf(EINVAL);
        return nullptr;
    }
    const std::string path = pathIn(folder, name);
    // The server would follow a link standing under the name: only a file or nothing will do.
    if (const auto there = lstat(path, error)) {
        const DestinationKind kind = kindOf(*there);
        if (kind != DestinationKind::File) {
            error = codeOf(kind == DestinationKind::Link ? ELOOP : EINVAL);
            return nullptr;
        }
    } else if (error != std::errc::no_such_file_or_directory) {
        return nullptr;
    }
    error.clear();
    std::uint32_t id = m_connection->nextId();
    sftp::Packet open(sftp::Open, id);
    sftp::Attributes attributes;
    attributes.flags = sftp::AttrPermissions;
    attributes.permissions = 0600;
    open.text(path).u32(sftp::OpenWrite | sftp::OpenCreate).attributes(attributes);
    sftp::Reply reply = m_connection->call(open, id);
    if (reply.type() != sftp::Handle) {
        error = statusOf(std::move(reply));
        if (!error)
            error = codeOf(EPROTO);
        return nullptr;
    }
    std::string handle = reply.text();
    // The size of what was opened, not of what the name held a moment before.
    id = m_connection->nextId();
    sftp::Packet look(sftp::Fstat, id);
    look.text(handle);
    reply = m_connection->call(look, id);
    std::optional<sftp::Attributes> opened;
    if (reply.type() == sftp::Attrs) {
        opened = reply.attributes();
        if (!reply.ok() || !(opened->flags & sftp::AttrSize))
            opened.reset();
    }
    // Some servers (rclone) tell no kind of an open file: only a kind told otherwise refuses.
    const bool notAFile =
        opened && (opened->flags & sftp::AttrPermissions) && kindOf(*opened) != DestinationKind::File;
    if (!opened || notAFile) {
        if (notAFile)
            error = codeOf(EINVAL);
        else if (reply.type() != sftp::Attrs)
            error = statusOf(std::move(reply));
        if (!error)
            error = codeOf(EPROTO);
        id = m_connection->nextId();
        sftp::Packet close(sftp::Close, id);
        close.text(handle);
        m_connection->call(close, id);
        return nullptr;
    }
    return std::make_unique<Appender>(*this, std::move(handle), opened->size);
}

// ----------------------------------------------------------------------------------------
// The destination as a whole

std::error_code SftpDestination::writeSmallFile(const std::string& path, std::string_view text,
                                                bool exclusive)
{
    if (const std::error_code unmade = awaitPath(path))
        return unmade;
    std::uint32_t id = m_connection->nextId();
    sftp::Packet open = openForWriting(path, id, exclusive ? sftp::OpenExclusive : sftp::OpenTruncate);
    sftp::Reply reply = m_connection->call(open, id);
    if (reply.type() != sftp::Handle) {
        std::error_code error = statusOf(std::move(reply));
        return error ? error : codeOf(EPROTO);
    }
    const std::string handle = reply.text();
    const std::uint32_t writeId = m_connection->nextId();
    sftp::Packet write(sftp::Write, writeId);
    write.text(handle).u64(0);
    if (!text.empty())
        std::memcpy(write.data(text.size()), text.data(), text.size());
    else
        write.data(0);
    m_connection->send(write);
    id = m_connection->nextId();
    sftp::Packet close(sftp::Close, id);
    close.text(handle);
    m_connection->send(close);
    const std::error_code written = statusOf(m_connection->wait(writeId));
    const std::error_code closed = statusOf(m_connection->wait(id));
    return written ? written : closed;
}

std::optional<std::string> SftpDestination::readSmallFile(const std::string& path, std::error_code& error)
{
    if ((error = awaitPath(path)))
        return std::nullopt;
    std::uint32_t id = m_connection->nextId();
    sftp::Packet open(sftp::Open, id);
    open.text(path).u32(sftp::OpenRead).attributes({});
    sftp::Reply reply = m_connection->call(open, id);
    if (reply.type() != sftp::Handle) {
        error = statusOf(std::move(reply));
        return std::nullopt;
    }
    const std::string handle = reply.text();
    id = m_connection->nextId();
    sftp::Packet read(sftp::Read, id);
    read.text(handle).u64(0).u32(4096);
    reply = m_connection->call(read, id);
    std::optional<std::string> text;
    if (reply.type() == sftp::Data)
        text = reply.text();
    else
        text = std::string();
    id = m_connection->nextId();
    sftp::Packet close(sftp::Close, id);
    close.text(handle);
    m_connection->call(close, id);
    return text;
}

RunLockResult SftpDestination::takeRunLock(std::string_view holder, std::error_code& error)
{
    error.clear();
    const std::lock_guard guard(m_lockMutex);
    if (m_lockHeld)
        return RunLockResult::Taken;
    const std::string path = pathIn(m_root, kRunLockFileName);
    // The first line is the holder's word, as in a local lock; the rest says who and when.
    const auto started = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
    const std::string text = std::string(holder) + "\nhost " + hostName() + "\npid " +
                             std::to_string(::getpid()) + "\nstarted " + std::to_string(started) + "\n";
    m_takeOverNote.clear();
    for (int attempt = 0; attempt < 2; ++attempt) {
        // Created exclusively: of two runs starting at once, one gets it.
        error = writeSmallFile(path, text, true);
        if (!error) {
            m_lockHeld = true;
            m_stopRefresh = false;
            m_refresher = std::thread([this] { refreshLock(); });
            return RunLockResult::Taken;
        }
        std::error_code looked;
        const auto attributes = lstat(path, looked);
        if (!attributes) {
            if (looked.value() == ENOENT && attempt == 0)
                continue;
            return RunLockResult::Failed;
        }
        const DestinationKind kind = kindOf(*attributes);
        if (kind == DestinationKind::Link) {
            error = codeOf(ELOOP);
            return RunLockResult::Failed;
        }
        if (kind != DestinationKind::File) {
            error = codeOf(EINVAL);
            return RunLockResult::Failed;
        }
        const auto now = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
        const auto age = now - static_cast<std::time_t>(attributes->modified);
        if (attempt > 0 || age <= kLockStaleAfter.count()) {
            error.clear();
            return RunLockResult::Busy;
        }
        // Nobody has refreshed it for two minutes: its run died with its connection.
        std::error_code ignored;
        const auto old = readSmallFile(path, ignored);
        std::string who = old ? *old : std::string();
        std::replace(who.begin(), who.end(), '\n', ' ');
        while (!who.empty() && who.back() == ' ')
            who.pop_back();
        if (const std::error_code removed = pathRequest(sftp::Remove, path)) {
            error = removed;
            return RunLockResult::Failed;
        }
        m_takeOverNote = "The run lock of " + m_location + " (" + who + ") was not refreshed for " +
                         std::to_string(age / 60) +
                         " minutes; its run is taken for dead and the lock taken over.";
    }
    return RunLockResult::Failed;
}

void SftpDestination::refreshLock()
{
    std::unique_lock guard(m_lockMutex);
    const std::string path = pathIn(m_root, kRunLockFileName);
    while (!m_lockWake.wait_for(guard, kLockRefreshEvery, [this] { return m_stopRefresh; })) {
        guard.unlock();
        sftp::Attributes change;
        change.flags = sftp::AttrTimes;
        const auto now = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
        change.accessed = static_cast<std::uint32_t>(now);
        change.modified = static_cast<std::uint32_t>(now);
        // Also keeps an idle connection alive.
        setAttributes(path, change);
        guard.lock();
    }
}

std::string SftpDestination::runLockHolder()
{
    std::error_code error;
    const std::string path = pathIn(m_root, kRunLockFileName);
    const auto attributes = lstat(path, error);
    if (!attributes || kindOf(*attributes) != DestinationKind::File)
        return {};
    const auto text = readSmallFile(path, error);
    if (!text)
        return {};
    const std::size_t end = text->find('\n');
    if (end == std::string::npos)
        return {};
    std::string word = text->substr(0, end);
    for (const char c : word)
        if (c < 'a' || c > 'z')
            return {};
    return word;
}

void SftpDestination::releaseRunLock()
{
    // Every folder's answer is read while the run still holds the destination.
    settleAllFolders();
    std::thread refresher;
    {
        const std::lock_guard guard(m_lockMutex);
        if (!m_lockHeld)
            return;
        m_lockHeld = false;
        m_stopRefresh = true;
        refresher = std::move(m_refresher);
    }
    m_lockWake.notify_all();
    if (refresher.joinable())
        refresher.join();
    pathRequest(sftp::Remove, pathIn(m_root, kRunLockFileName));
}

std::optional<SftpDestination::SpaceInfo> SftpDestination::space()
{
    if (!m_connection->supports("statvfs@openssh.com"))
        return std::nullopt;
    const std::uint32_t id = m_connection->nextId();
    sftp::Packet packet(sftp::Extended, id);
    packet.text("statvfs@openssh.com").text(m_url.path);
    sftp::Reply reply = m_connection->call(packet, id);
    if (reply.type() != sftp::ExtendedReply)
        return std::nullopt;
    reply.u64(); // block size
    const std::uint64_t fragment = reply.u64();
    reply.u64(); // blocks
    reply.u64(); // free blocks
    const std::uint64_t available = reply.u64();
    reply.u64(); // inodes
    reply.u64(); // free inodes
    reply.u64(); // available inodes
    const std::uint64_t fsid = reply.u64();
    const std::uint64_t flags = reply.u64();
    if (!reply.ok())
        return std::nullopt;
    return SpaceInfo{available * fragment, fsid, (flags & 1) != 0};
}

std::error_code SftpDestination::checkWritable()
{
    std::error_code error;
    const auto attributes = lstat(m_url.path, error);
    if (!attributes) {
        // The folder itself may be a link the user named; it was checked to be a folder.
        return error.value() == ENOENT ? error : std::error_code();
    }
    if (const auto info = space(); info && info->readOnly)
        return codeOf(EROFS);
    if ((attributes->flags & sftp::AttrPermissions) && kindOf(*attributes) == DestinationKind::Folder &&
        !(attributes->permissions & 0222))
        return codeOf(EACCES);
    return {};
}

std::uint64_t SftpDestination::freeBytes()
{
    const auto info = space();
    return info ? info->available : 0;
}

std::optional<files::FileSystemIdentity> SftpDestination::identity(std::string& error)
{
    error.clear();
    // The server by its host key, the folder by the file system that holds it: another
    // machine answering under the name, or a server disk that is not mounted, differ.
    files::FileSystemIdentity identity;
    identity.key = "ssh:" + m_connection->hostKeyFingerprint();
    if (const auto info = space()) {
        char fsid[32];
        std::snprintf(fsid, sizeof fsid, "%llx", static_cast<unsigned long long>(info->fsid));
        identity.key += ":fsid:";
        identity.key += fsid;
    }
    identity.mountPoint = m_location;
    return identity;
}

std::int64_t SftpDestination::timeGranularity(bool measure)
{
    constexpr std::int64_t kSecond = 1'000'000'000;
    if (!measure)
        return kSecond;
    // SFTP carries whole seconds; a server file system may keep only every second one. A
    // file made for the look is closed and given an odd time in one round trip, and looked
    // at once the time is given (a server may work on requests out of order).
    const std::string path = pathIn(m_root, freshTemporaryName());
    if (awaitPath(path))
        return kSecond;
    std::uint32_t id = m_connection->nextId();
    sftp::Packet open = openForWriting(path, id, sftp::OpenExclusive);
    sftp::Reply reply = m_connection->call(open, id);
    if (reply.type() != sftp::Handle)
        return kSecond;
    const std::string handle = reply.text();
    const std::uint32_t closeId = m_connection->nextId();
    sftp::Packet close(sftp::Close, closeId);
    close.text(handle);
    m_connection->queue(close);
    sftp::Attributes change;
    change.flags = sftp::AttrTimes;
    change.accessed = 1'000'000'001;
    change.modified = 1'000'000'001;
    const std::uint32_t setId = m_connection->nextId();
    sftp::Packet set(sftp::Setstat, setId);
    set.text(path).attributes(change);
    m_connection->queue(set);
    m_connection->wait(closeId);
    const bool given = !statusOf(m_connection->wait(setId));
    // The file goes in the round trip of the look; should the server remove it first, the
    // look finds nothing, and whole seconds are assumed as without a look.
    const std::uint32_t lookId = m_connection->nextId();
    sftp::Packet look(sftp::Lstat, lookId);
    look.text(path);
    m_connection->queue(look);
    id = m_connection->nextId();
    sftp::Packet remove(sftp::Remove, id);
    remove.text(path);
    m_connection->queue(remove);
    reply = m_connection->wait(lookId);
    m_connection->wait(id);
    std::int64_t granularity = kSecond;
    if (given && reply.type() == sftp::Attrs) {
        const sftp::Attributes attributes = reply.attributes();
        if (reply.ok() && attributes.modified != change.modified)
            granularity = 2 * kSecond;
    }
    return granularity;
}

} // namespace stowmere::backup
