// SPDX-License-Identifier: GPL-3.0-or-later
#include "backup/LocalDestination.h"
#include "backup/TimeGranularity.h"

#include "platform/Beneath.h"
#include "platform/FileCopier.h"
#include "platform/FileLock.h"
#include "platform/FileNode.h"
#include "platform/FreeSpace.h"
#include "platform/LastError.h"
#include "platform/Paths.h"
#include "platform/TemporaryFile.h"
#include "platform/WriteAll.h"

#include <array>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <optional>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace stowmere::backup {

using files::errorCode;
using files::lastError;
using files::UniqueFd;

namespace {

DestinationEntry entryOf(std::string name, const struct stat& info)
{
    DestinationEntry entry;
    entry.name = std::move(name);
    if (S_ISREG(info.st_mode))
        entry.kind = DestinationKind::File;
    else if (S_ISDIR(info.st_mode))
        entry.kind = DestinationKind::Folder;
    else if (S_ISLNK(info.st_mode))
        entry.kind = DestinationKind::Link;
    else
        entry.kind = DestinationKind::Other;
    entry.size = static_cast<std::uint64_t>(info.st_size);
    entry.modified = info.st_mtim;
    entry.mode = info.st_mode & 07777;
    entry.allocated = static_cast<std::uint64_t>(info.st_blocks) * 512;
    entry.identity = {static_cast<std::uint64_t>(info.st_dev), static_cast<std::uint64_t>(info.st_ino)};
    entry.links = static_cast<std::uint32_t>(info.st_nlink);
    if (entry.kind == DestinationKind::Other) {
        entry.format = info.st_mode & S_IFMT;
        entry.device = static_cast<std::uint64_t>(info.st_rdev);
    }
    return entry;
}

// A folder is opened for reading, so that it can be listed and its bits set; one the
// process may only pass through is still opened, for the names below it.
UniqueFd openFolderAt(int parent, const char* name, int& error)
{
    UniqueFd fd(::openat(parent, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!fd && errno == EACCES)
        fd.reset(::openat(parent, name, O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    error = fd ? 0 : errno;
    return fd;
}

// Calls visit(name, type) for every entry but "." and "..".
template <typename Visit> std::error_code forEachEntry(int folderFd, Visit&& visit)
{
    UniqueFd reading(::openat(folderFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!reading)
        return lastError();
    alignas(dirent64) std::array<char, std::size_t{32} * 1024> buffer;
    for (;;) {
        const ssize_t got = ::getdents64(reading.get(), buffer.data(), buffer.size());
        if (got == 0)
            return {};
        if (got < 0) {
            if (errno == EINTR)
                continue;
            return lastError();
        }
        for (ssize_t at = 0; at < got;) {
            const auto* entry = reinterpret_cast<const dirent64*>(buffer.data() + at);
            at += entry->d_reclen;
            if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0)
                continue;
            visit(entry->d_name, entry->d_type);
        }
    }
}

// Removes everything in the open folder, never following a link.
std::error_code emptyFolder(int folderFd)
{
    std::vector<std::pair<std::string, unsigned char>> names;
    if (const std::error_code error = forEachEntry(
            folderFd, [&](const char* name, unsigned char type) { names.emplace_back(name, type); }))
        return error;
    std::error_code first;
    for (const auto& [name, type] : names) {
        if (::unlinkat(folderFd, name.c_str(), 0) == 0)
            continue;
        if (errno != EISDIR && errno != EPERM) {
            if (!first && errno != ENOENT)
                first = lastError();
            continue;
        }
        int error = 0;
        UniqueFd below = openFolderAt(folderFd, name.c_str(), error);
        if (!below) {
            if (!first)
                first = errorCode(error);
            continue;
        }
        // A read-only folder must open up before its entries can go.
        ::fchmod(below.get(), S_IRWXU);
        if (const std::error_code error = emptyFolder(below.get()); error && !first)
            first = error;
        if (::unlinkat(folderFd, name.c_str(), AT_REMOVEDIR) != 0 && !first)
            first = lastError();
    }
    return first;
}

bool refusesLinks(int error)
{
    return error == EPERM || error == EOPNOTSUPP || error == ENOSYS || error == EMLINK || error == EXDEV;
}

} // namespace

class LocalDestination::Folder : public DestinationFolder {
public:
    Folder(UniqueFd fd, std::string relative) : DestinationFolder(std::move(relative)), m_fd(std::move(fd)) {}
    int fd() const { return m_fd.get(); }

    /// The device the folder lies on, asked once: every copy into it needs it, and two
    /// copying threads may ask at once (both then find the same).
    std::optional<std::uint64_t> device() const
    {
        std::uint64_t known = m_device.load(std::memory_order_relaxed);
        if (known == kUnknown) {
            struct stat info {};
            if (::fstat(m_fd.get(), &info) != 0)
                return std::nullopt;
            known = static_cast<std::uint64_t>(info.st_dev);
            m_device.store(known, std::memory_order_relaxed);
        }
        return known;
    }

private:
    static constexpr std::uint64_t kUnknown = ~std::uint64_t{0};
    UniqueFd m_fd;
    mutable std::atomic<std::uint64_t> m_device{kUnknown};
};

namespace {

class LocalPendingWrite : public PendingWrite {
public:
    explicit LocalPendingWrite(files::CopyOutcome outcome) : outcome(outcome) {}
    files::CopyOutcome outcome;
};

/// Keeps what stands under name in folderFd where keepReplaced places it, just before a
/// new entry takes the name; none when nothing is to be kept.
files::FileCopier::BeforeReplace keeperOf(int folderFd, const std::string& name,
                                          const VersionPlaceMaker& keepReplaced)
{
    if (!keepReplaced)
        return {};
    return [folderFd, &name, &keepReplaced]() -> std::error_code {
        std::error_code error;
        const std::optional<VersionPlace> place = keepReplaced(error);
        if (!place)
            return error; // nothing to keep, or the write stops
        const int placeFd = LocalDestination::fdOf(place->folder);
        // A second name for the old copy first: the name it stands under keeps a
        // complete copy until the new one takes it over in one rename.
        if (::linkat(folderFd, name.c_str(), placeFd, place->name.c_str(), 0) == 0)
            return {};
        if (!refusesLinks(errno))
            return lastError();
        // A file system without hard links (or a folder in the way): the old copy moves
        // and the new one follows at once.
        if (::renameat(folderFd, name.c_str(), placeFd, place->name.c_str()) != 0)
            return lastError();
        return {};
    };
}

} // namespace

/// Writes at once, when issued: the local disk has no round trip to hide.
class LocalDestination::Writer : public DestinationWriter {
public:
    /// temporaries: the folder copies are written in first; null to write them beside
    /// their targets.
    explicit Writer(FolderHandle temporaries) : m_temporaries(std::move(temporaries))
    {
        if (m_temporaries)
            m_copier.useTemporaryFolder(fdOf(m_temporaries));
    }

    std::unique_ptr<PendingWrite> start(WriteRequest request) override
    {
        const int folderFd = fdOf(request.folder);
        const files::FileCopier::BeforeReplace keep = keeperOf(folderFd, request.name, request.keepReplaced);
        files::CopyOutcome outcome =
            request.link ? m_copier.copyLinkInto(request.source, folderFd, request.name,
                                                 request.onlyWhenDifferent, keep)
                         : m_copier.copyFileInto(request.source, request.sourceFd, folderFd, request.name,
                                                 request.progress, request.sizeLimit, keep, request.digest,
                                                 static_cast<const Folder&>(*request.folder).device());
        return std::make_unique<LocalPendingWrite>(outcome);
    }

    files::CopyOutcome collect(std::unique_ptr<PendingWrite> pending) override
    {
        return static_cast<LocalPendingWrite&>(*pending).outcome;
    }

private:
    FolderHandle m_temporaries; ///< held open while the copier writes there
    files::FileCopier m_copier;
};

std::unique_ptr<LocalDestination> LocalDestination::open(const std::string& path, std::error_code& error)
{
    error.clear();
    std::string location = path;
    if (!location.empty() && location.back() == paths::kSeparator)
        location.pop_back();
    const std::string folder = location.empty() ? std::string(1, paths::kSeparator) : location;
    UniqueFd fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!fd && errno == EACCES)
        fd.reset(::open(folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (!fd) {
        error = lastError();
        return nullptr;
    }
    return std::unique_ptr<LocalDestination>(new LocalDestination(std::move(location), std::move(fd)));
}

LocalDestination::LocalDestination(std::string location, UniqueFd rootFd)
    : m_location(std::move(location)),
      m_path(m_location.empty() ? std::string(1, paths::kSeparator) : m_location),
      m_root(adopt(std::move(rootFd), {}))
{
}

LocalDestination::~LocalDestination() = default;

int LocalDestination::fdOf(const FolderHandle& folder)
{
    return folder ? static_cast<const Folder&>(*folder).fd() : -1;
}

FolderHandle LocalDestination::adopt(UniqueFd fd, std::string relative) const
{
    return std::make_shared<const Folder>(std::move(fd), std::move(relative));
}

FolderHandle LocalDestination::openFolder(std::string_view relative, std::error_code& error)
{
    error.clear();
    int code = 0;
    UniqueFd fd = files::openBeneath(fdOf(m_root), relative, O_RDONLY | O_DIRECTORY, code);
    if (!fd && code == EACCES)
        fd = files::openBeneath(fdOf(m_root), relative, O_PATH | O_DIRECTORY, code);
    if (!fd) {
        error = errorCode(code);
        return nullptr;
    }
    std::string clean;
    for (std::size_t from = 0; from <= relative.size();) {
        std::size_t end = relative.find('/', from);
        if (end == std::string_view::npos)
            end = relative.size();
        const std::string_view name = relative.substr(from, end - from);
        if (!name.empty() && name != ".")
            clean = joinRelative(clean, name);
        from = end + 1;
    }
    return adopt(std::move(fd), std::move(clean));
}

FolderHandle LocalDestination::openFolder(const FolderHandle& parent, const std::string& name,
                                          std::error_code& error)
{
    error.clear();
    if (name.empty() || name == "." || name == ".." || name.find('/') != std::string::npos) {
        error = errorCode(EINVAL);
        return nullptr;
    }
    int code = 0;
    UniqueFd fd = openFolderAt(fdOf(parent), name.c_str(), code);
    if (!fd) {
        error = errorCode(code);
        return nullptr;
    }
    return adopt(std::move(fd), joinRelative(parent->relative(), name));
}

FolderHandle LocalDestination::makeFolder(const FolderHandle& parent, const std::string& name, mode_t mode,
                                          bool& created, std::error_code& error)
{
    created = false;
    error.clear();
    const int parentFd = fdOf(parent);
    if (::mkdirat(parentFd, name.c_str(), mode) == 0) {
        created = true;
    } else {
        int code = errno;
        struct stat info {};
        if (code != EEXIST || ::fstatat(parentFd, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) {
            error = errorCode(code);
            return nullptr;
        }
        if (S_ISLNK(info.st_mode)) {
            // A link where a folder belongs: following it would write elsewhere. The link
            // holds no data; the folder takes its place.
            if (::unlinkat(parentFd, name.c_str(), 0) != 0 || ::mkdirat(parentFd, name.c_str(), mode) != 0) {
                error = lastError();
                return nullptr;
            }
            created = true;
        } else if (!S_ISDIR(info.st_mode)) {
            error = errorCode(EEXIST);
            return nullptr;
        }
    }
    // Opened without following a link: should the folder have been swapped for one since
    // it was made, the open fails rather than lead elsewhere.
    return openFolder(parent, name, error);
}

std::vector<DestinationEntry> LocalDestination::list(const FolderHandle& folder, std::error_code& error)
{
    std::vector<DestinationEntry> entries;
    const int fd = fdOf(folder);
    error = forEachEntry(fd, [&](const char* name, unsigned char) {
        struct stat info {};
        if (::fstatat(fd, name, &info, AT_SYMLINK_NOFOLLOW) == 0)
            entries.push_back(entryOf(name, info));
    });
    return entries;
}

std::vector<DestinationEntry> LocalDestination::listKinds(const FolderHandle& folder, std::error_code& error)
{
    std::vector<DestinationEntry> entries;
    const int fd = fdOf(folder);
    error = forEachEntry(fd, [&](const char* name, unsigned char type) {
        DestinationEntry& entry = entries.emplace_back();
        entry.name = name;
        switch (type) {
        case DT_REG:
            entry.kind = DestinationKind::File;
            break;
        case DT_DIR:
            entry.kind = DestinationKind::Folder;
            break;
        case DT_LNK:
            entry.kind = DestinationKind::Link;
            break;
        case DT_UNKNOWN: {
            // A file system that does not tell kinds in its listing is asked entry by entry.
            struct stat info {};
            if (::fstatat(fd, name, &info, AT_SYMLINK_NOFOLLOW) == 0)
                entry = entryOf(name, info);
            else
                entries.pop_back();
            break;
        }
        default:
            entry.kind = DestinationKind::Other;
            break;
        }
    });
    return entries;
}

DestinationEntry LocalDestination::status(const FolderHandle& folder, const std::string& name)
{
    struct stat info {};
    if (::fstatat(fdOf(folder), name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) {
        DestinationEntry missing;
        missing.name = name;
        return missing;
    }
    return entryOf(name, info);
}

DestinationEntry LocalDestination::status(const FolderHandle& folder)
{
    struct stat info {};
    if (::fstat(fdOf(folder), &info) != 0)
        return {};
    return entryOf({}, info);
}

std::optional<std::string> LocalDestination::readLink(const FolderHandle& folder, const std::string& name,
                                                      std::error_code& error)
{
    error.clear();
    std::string text(256, '\0');
    for (;;) {
        const ssize_t got = ::readlinkat(fdOf(folder), name.c_str(), text.data(), text.size());
        if (got < 0) {
            error = lastError();
            return std::nullopt;
        }
        if (static_cast<std::size_t>(got) < text.size()) {
            text.resize(static_cast<std::size_t>(got));
            return text;
        }
        text.resize(text.size() * 2);
    }
}

UniqueFd LocalDestination::openFile(const FolderHandle& folder, const std::string& name,
                                    std::error_code& error)
{
    error.clear();
    UniqueFd fd(
        ::openat(fdOf(folder), name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (!fd)
        error = lastError();
    return fd;
}

std::unique_ptr<DestinationWriter> LocalDestination::writer()
{
    return std::make_unique<Writer>(temporaries());
}

std::error_code LocalDestination::setMode(const FolderHandle& folder, const std::string& name, mode_t mode)
{
    // Never through a link: the C library refuses to change one (its bits mean nothing).
    if (::fchmodat(fdOf(folder), name.c_str(), mode, AT_SYMLINK_NOFOLLOW) != 0)
        return lastError();
    return {};
}

std::error_code LocalDestination::setMode(const FolderHandle& folder, mode_t mode)
{
    const int fd = fdOf(folder);
    if (::fchmod(fd, mode) == 0)
        return {};
    // A folder opened only to pass through cannot be changed through its descriptor.
    const std::string self = "/proc/self/fd/" + std::to_string(fd);
    if (::chmod(self.c_str(), mode) != 0)
        return lastError();
    return {};
}

files::MetadataLoss LocalDestination::setMetadata(const FolderHandle& folder, const std::string& name,
                                                  const files::Metadata& metadata)
{
    return files::applyMetadataAt(fdOf(folder), name, metadata);
}

files::MetadataLoss LocalDestination::setMetadata(const FolderHandle& folder, const files::Metadata& metadata)
{
    return files::applyMetadataAt(fdOf(folder), {}, metadata);
}

std::error_code LocalDestination::setTimes(const FolderHandle& folder, const std::string& name,
                                           const timespec& accessed, const timespec& modified)
{
    const timespec times[2] = {accessed, modified};
    if (::utimensat(fdOf(folder), name.c_str(), times, AT_SYMLINK_NOFOLLOW) != 0)
        return lastError();
    return {};
}

std::error_code LocalDestination::rename(const FolderHandle& from, const std::string& fromName,
                                         const FolderHandle& to, const std::string& toName)
{
    if (::renameat(fdOf(from), fromName.c_str(), fdOf(to), toName.c_str()) != 0)
        return lastError();
    return {};
}

std::error_code LocalDestination::remove(const FolderHandle& folder, const std::string& name)
{
    const int fd = fdOf(folder);
    if (::unlinkat(fd, name.c_str(), 0) == 0)
        return {};
    if (errno != EISDIR && errno != EPERM)
        return lastError();
    int code = 0;
    const UniqueFd below = openFolderAt(fd, name.c_str(), code);
    if (!below)
        return errorCode(code);
    ::fchmod(below.get(), S_IRWXU);
    if (const std::error_code error = emptyFolder(below.get()))
        return error;
    if (::unlinkat(fd, name.c_str(), AT_REMOVEDIR) != 0)
        return lastError();
    return {};
}

std::error_code LocalDestination::removeEmptyFolder(const FolderHandle& folder, const std::string& name)
{
    if (::unlinkat(fdOf(folder), name.c_str(), AT_REMOVEDIR) != 0)
        return lastError();
    return {};
}

int LocalDestination::temporaryFolderFor(int folderFd) const
{
    // The destination's own folder for temporaries when it lies on the target's file system
    // (a rename cannot leave one), else beside the target.
    const int temporariesFd = fdOf(temporaries());
    struct stat temporariesInfo {};
    struct stat folderInfo {};
    if (temporariesFd >= 0 && ::fstat(temporariesFd, &temporariesInfo) == 0 &&
        ::fstat(folderFd, &folderInfo) == 0 && temporariesInfo.st_dev == folderInfo.st_dev)
        return temporariesFd;
    return folderFd;
}

files::CopyOutcome LocalDestination::makeSpecial(const SpecialRequest& request)
{
    const int folderFd = fdOf(request.folder);
    return files::makeSpecialAt(folderFd, request.name, temporaryFolderFor(folderFd), request.source,
                                request.metadata, keeperOf(folderFd, request.name, request.keepReplaced));
}

files::CopyOutcome LocalDestination::makeHardLink(const FolderHandle& firstFolder,
                                                  const std::string& firstName, const FolderHandle& folder,
                                                  const std::string& name,
                                                  const VersionPlaceMaker& keepReplaced)
{
    using Status = files::CopyOutcome::Status;
    const auto failed = [](Status status, int error) {
        files::CopyOutcome outcome;
        outcome.status = status;
        outcome.error = errorCode(error);
        return outcome;
    };
    const int firstFd = fdOf(firstFolder);
    const int folderFd = fdOf(folder);
    struct stat first {};
    if (::fstatat(firstFd, firstName.c_str(), &first, AT_SYMLINK_NOFOLLOW) != 0)
        return failed(Status::SourceFailed, errno);
    if (!S_ISREG(first.st_mode))
        return failed(Status::SourceFailed, EINVAL);
    struct stat there {};
    const bool occupied = ::fstatat(folderFd, name.c_str(), &there, AT_SYMLINK_NOFOLLOW) == 0;
    // A rename between two names of one file does nothing, and would leave the new name.
    if (occupied && there.st_dev == first.st_dev && there.st_ino == first.st_ino)
        return {Status::Unchanged, {}, false};
    if (!occupied && ::linkat(firstFd, firstName.c_str(), folderFd, name.c_str(), 0) == 0)
        return {};
    if (!occupied && errno != EEXIST)
        return failed(refusesLinks(errno) ? Status::LinksRefused : Status::DestinationFailed, errno);
    // Something stands under name: the new name is made in the folder for temporaries and
    // takes its place in one rename, once what stood there is kept.
    const int temporaryFd = temporaryFolderFor(folderFd);
    std::string temporary;
    for (int attempt = 0;; ++attempt) {
        temporary = files::TemporaryFile::freshName({}).substr(2); // without "./"
        if (::linkat(firstFd, firstName.c_str(), temporaryFd, temporary.c_str(), 0) == 0)
            break;
        if (errno != EEXIST || attempt == 100)
            return failed(refusesLinks(errno) ? Status::LinksRefused : Status::DestinationFailed, errno);
    }
    if (const files::FileCopier::BeforeReplace keep = keeperOf(folderFd, name, keepReplaced)) {
        if (const std::error_code kept = keep()) {
            ::unlinkat(temporaryFd, temporary.c_str(), 0);
            files::CopyOutcome outcome = failed(Status::DestinationFailed, kept.value());
            outcome.keepFailed = true;
            return outcome;
        }
    }
    if (::renameat(temporaryFd, temporary.c_str(), folderFd, name.c_str()) != 0) {
        const int error = errno;
        ::unlinkat(temporaryFd, temporary.c_str(), 0);
        return failed(Status::DestinationFailed, error);
    }
    return {};
}

std::size_t LocalDestination::removeLeftovers(const FolderHandle& folder)
{
    const int fd = fdOf(folder);
    std::size_t removed = 0;
    forEachEntry(fd, [&](const char* name, unsigned char) {
        if (files::TemporaryFile::isTemporaryName(name) && ::unlinkat(fd, name, 0) == 0)
            ++removed;
    });
    return removed;
}

RunLockResult LocalDestination::takeRunLock(std::string_view holder, std::error_code& error)
{
    error.clear();
    const std::lock_guard guard(m_lockMutex);
    // O_NOFOLLOW: a link planted under the lock's name, dangling or not, is refused rather
    // than followed to create or lock the file it names.
    UniqueFd fd(::openat(fdOf(m_root), kRunLockFileName,
                         O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0644));
    if (!fd) {
        error = lastError();
        return errno == ENOLCK || errno == EOPNOTSUPP ? RunLockResult::Unsupported : RunLockResult::Failed;
    }
    struct stat info {};
    if (::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode)) {
        error = errorCode(EINVAL);
        return RunLockResult::Failed;
    }
    for (;;) {
        if (::flock(fd.get(), LOCK_EX | LOCK_NB) == 0) {
            // A word cut short has no line end, and no reader takes it for a holder.
            const std::string line = std::string(holder) + '\n';
            // The holder's name only informs another run that finds the lock taken: a
            // lock without it still holds.
            if (::ftruncate(fd.get(), 0) == 0) {
                [[maybe_unused]] const ssize_t written = ::pwrite(fd.get(), line.data(), line.size(), 0);
            }
            m_lock = std::move(fd);
            return RunLockResult::Taken;
        }
        if (errno == EINTR)
            continue;
        if (errno == EWOULDBLOCK)
            return RunLockResult::Busy;
        // A file system without locks (some network shares) cannot keep two runs apart.
        if (errno == ENOLCK || errno == EOPNOTSUPP || errno == ENOSYS)
            return RunLockResult::Unsupported;
        error = lastError();
        return RunLockResult::Failed;
    }
}

std::string LocalDestination::runLockHolder()
{
    return files::FileLock::holderOf(paths::join(m_path, kRunLockFileName));
}

void LocalDestination::releaseRunLock()
{
    const std::lock_guard guard(m_lockMutex);
    m_lock.reset();
}

std::error_code LocalDestination::checkWritable()
{
    if (::faccessat(fdOf(m_root), ".", W_OK | X_OK, 0) != 0)
        return lastError();
    return {};
}

std::uint64_t LocalDestination::freeBytes()
{
    struct statvfs info {};
    if (::fstatvfs(fdOf(m_root), &info) != 0)
        return 0;
    return static_cast<std::uint64_t>(info.f_bavail) * info.f_frsize;
}

std::optional<files::FileSystemIdentity> LocalDestination::identity(std::string& error)
{
    return files::identifyFileSystem(m_path, error);
}

std::int64_t LocalDestination::timeGranularity(bool measure)
{
    const int folder = fdOf(m_root);
    return measure ? probeTimeGranularity(folder) : guessTimeGranularity(folder);
}

namespace {

/// A local file opened for appending: each append is one write at the end.
class LocalAppender final : public DestinationAppender {
public:
    LocalAppender(UniqueFd fd, std::uint64_t size) : m_fd(std::move(fd)), m_size(size) {}

    std::error_code append(std::string_view bytes) override { return files::writeAll(m_fd.get(), bytes); }
    std::uint64_t sizeAtOpen() const override { return m_size; }

private:
    UniqueFd m_fd;
    std::uint64_t m_size;
};

} // namespace

std::unique_ptr<DestinationAppender>
LocalDestination::openAppend(const FolderHandle& folder, const std::string& name, std::error_code& error)
{
    error.clear();
    UniqueFd fd(::openat(fdOf(folder), name.c_str(),
                         O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC,
                         0600));
    struct stat info {};
    if (!fd || ::fstat(fd.get(), &info) != 0) {
        error = lastError();
        return nullptr;
    }
    if (!S_ISREG(info.st_mode)) {
        error = std::make_error_code(std::errc::invalid_argument);
        return nullptr;
    }
    return std::make_unique<LocalAppender>(std::move(fd), static_cast<std::uint64_t>(info.st_size));
}

} // namespace stowmere::backup
