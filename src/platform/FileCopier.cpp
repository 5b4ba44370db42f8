// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/FileCopier.h"

#include "platform/FileQueries.h"
#include "platform/LastError.h"
#include "platform/Paths.h"
#include "platform/UniqueFd.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <limits>
#include <linux/fs.h>
#include <optional>
#include <span>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace stowmere::files {
namespace {

using Status = CopyOutcome::Status;

// Large enough that the read/write fallback costs few system calls, small enough to keep
// the memory of a run flat whatever the file sizes.
constexpr std::size_t kBufferSize = std::size_t{1024} * 1024;

CopyOutcome failed(Status status, std::error_code error = lastError())
{
    return {status, error, false};
}

CopyOutcome changedKind()
{
    return {Status::SourceFailed, std::make_error_code(std::errc::invalid_argument), true};
}

// What symlink() says on a file system that has no links at all (FAT, exFAT).
bool refusesLinks(int error)
{
    return error == EPERM || error == EOPNOTSUPP || error == ENOSYS;
}

// The link's target text, or the reason it cannot be read.
std::optional<std::string> readLinkAt(int folderFd, const std::string& path, int& error)
{
    std::string text(256, '\0');
    for (;;) {
        const ssize_t got = ::readlinkat(folderFd, path.c_str(), text.data(), text.size());
        if (got < 0) {
            error = errno;
            return std::nullopt;
        }
        if (static_cast<std::size_t>(got) < text.size()) {
            text.resize(static_cast<std::size_t>(got));
            return text;
        }
        text.resize(text.size() * 2);
    }
}

std::optional<std::string> readLink(const std::string& path, int& error)
{
    return readLinkAt(AT_FDCWD, path, error);
}

} // namespace

FileCopier::FileCopier() : m_umask(processUmask()) {}
FileCopier::~FileCopier() = default;

std::error_code FileCopier::copy(const std::string& source, const std::string& target)
{
    const CopyOutcome outcome = copyFile(source, target);
    return outcome.succeeded() ? std::error_code() : outcome.error;
}

namespace {

// Opens a source file for a copy, or takes the descriptor given; reports what it is.
std::optional<CopyOutcome> openSource(const std::string& source, int sourceFd, UniqueFd& owned, int& input,
                                      struct stat& info, std::uint64_t sizeLimit)
{
    input = sourceFd;
    if (input < 0) {
        // O_NONBLOCK: should the path have turned into a FIFO since it was listed, the open
        // must not wait for a writer; the fstat below then rejects it.
        owned.reset(::open(source.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
        if (!owned)
            return failed(Status::SourceFailed);
        input = owned.get();
    }
    if (::fstat(input, &info) != 0)
        return failed(Status::SourceFailed);
    if (!S_ISREG(info.st_mode))
        return changedKind();
    if (static_cast<std::uint64_t>(info.st_size) > sizeLimit)
        return CopyOutcome{Status::TooLarge, {}, false};
    return std::nullopt;
}

} // namespace

CopyOutcome FileCopier::copyFile(const std::string& source, const std::string& target,
                                 const CopyProgress& progress, std::uint64_t sizeLimit)
{
    UniqueFd owned;
    int input = -1;
    struct stat sourceInfo {};
    if (auto refused = openSource(source, -1, owned, input, sourceInfo, sizeLimit))
        return *refused;

    const std::string parent = paths::parentFolder(target);
    const std::string folder = parent.empty() ? std::string(".") : parent;
    const std::uint64_t device = folderDevice(folder);

    // A file with further hard links may be the target itself; a copy onto itself would
    // only cost time. (One link: the same name would mean the same folder, which the
    // caller sees far more cheaply.)
    if (sourceInfo.st_nlink > 1 && device == static_cast<std::uint64_t>(sourceInfo.st_dev)) {
        struct stat targetInfo {};
        if (::stat(target.c_str(), &targetInfo) == 0 && targetInfo.st_dev == sourceInfo.st_dev &&
            targetInfo.st_ino == sourceInfo.st_ino)
            return {Status::SameFile, {}, false};
    }
    return copyOpenFile(input, sourceInfo, AT_FDCWD, target, device, progress, {}, false);
}

CopyOutcome FileCopier::copyFileInto(const std::string& source, int sourceFd, int folderFd,
                                     const std::string& name, const CopyProgress& progress,
                                     std::uint64_t sizeLimit, const BeforeReplace& beforeReplace, bool digest,
                                     std::optional<std::uint64_t> folderDevice)
{
    UniqueFd owned;
    int input = -1;
    struct stat sourceInfo {};
    if (auto refused = openSource(source, sourceFd, owned, input, sourceInfo, sizeLimit))
        return *refused;
    struct stat folderInfo {};
    const std::uint64_t device = folderDevice ? *folderDevice
                                 : ::fstat(folderFd, &folderInfo) == 0
                                     ? static_cast<std::uint64_t>(folderInfo.st_dev)
                                     : 0;
    if (sourceInfo.st_nlink > 1 && device == static_cast<std::uint64_t>(sourceInfo.st_dev)) {
        struct stat targetInfo {};
        if (::fstatat(folderFd, name.c_str(), &targetInfo, AT_SYMLINK_NOFOLLOW) == 0 &&
            targetInfo.st_dev == sourceInfo.st_dev && targetInfo.st_ino == sourceInfo.st_ino)
            return {Status::SameFile, {}, false};
    }
    return copyOpenFile(input, sourceInfo, folderFd, name, device, progress, beforeReplace, digest);
}

CopyOutcome FileCopier::copyOpenFile(int input, const struct stat& sourceInfo, int folderFd,
                                     const std::string& name, std::uint64_t device,
                                     const CopyProgress& progress, const BeforeReplace& beforeReplace,
                                     bool digest)
{
    // The file is created with its final permission bits where the umask lets them
    // through, which spares a chmod for nearly every file.
    const mode_t wanted = sourceInfo.st_mode & 07777;
    std::error_code error;
    TemporaryFile output;
    if (folderFd == AT_FDCWD) {
        const std::string parent = paths::parentFolder(name);
        output = TemporaryFile::create(parent.empty() ? std::string(".") : parent, wanted & 0777, error,
                                       &m_temporarySupport, device);
    } else {
        output = TemporaryFile::createIn(temporaryFolderFor(folderFd, device), wanted & 0777, error,
                                         &m_temporarySupport, device);
    }
    if (error)
        return failed(Status::DestinationFailed, error);

    const auto size = static_cast<std::uint64_t>(sourceInfo.st_size);
    // A small file's digest is taken of its bytes as they pass, which spares reading the
    // copy back; sharing blocks would save nothing worth that read. A file with holes goes
    // the other way, which keeps its holes.
    const bool sparse = static_cast<std::uint64_t>(sourceInfo.st_blocks) * 512 < size;
    const bool digestHere = digest && size <= kDigestedInMemory && !sparse;
    if (digestHere) {
        m_digest.reset();
        m_digested = 0;
        const CopyOutcome data = readWriteRange(input, output.fd(), 0,
                                                size == 0 ? std::numeric_limits<std::uint64_t>::max() : size,
                                                size, progress, true);
        if (data.status != Status::Copied)
            return data;
    } else if (!shareBlocks(input, output.fd(), static_cast<std::uint64_t>(sourceInfo.st_dev), device)) {
        const CopyOutcome data = copyData(input, output.fd(), sourceInfo, progress);
        if (data.status != Status::Copied)
            return data;
    }
    // Owner first, as a change of owner clears set-uid and the file's capabilities; the
    // bits follow, without set-uid and set-gid when the owner could not be kept.
    const bool inTemporaryFolder = folderFd != AT_FDCWD && m_temporaryFolder >= 0 &&
                                   temporaryFolderFor(folderFd, device) == m_temporaryFolder;
    // Every file made in the temporary folder gets the same owner and group: a source that
    // has them (every file of a system tree copied by root, of a home copied by its owner)
    // needs no change of owner.
    if (inTemporaryFolder && !m_temporaryOwnership) {
        if (struct stat made{}; ::fstat(output.fd(), &made) == 0)
            m_temporaryOwnership = Ownership{made.st_uid, made.st_gid};
    }
    Metadata metadata;
    MetadataLoss lost;
    if (readMetadata(input, sourceInfo, metadata))
        lost = applyMetadata(output.fd(), metadata,
                             inTemporaryFolder && m_temporaryOwnership ? &*m_temporaryOwnership : nullptr);
    else
        lost.attributes = lastError();
    const bool aclDropped =
        (!inTemporaryFolder || m_temporaryFolderGivesAcl) && dropInheritedAcl(output.fd(), metadata);
    const mode_t mode = safeModeBits(wanted, lost);
    if (aclDropped || (mode & ~0777) != 0 || (mode & m_umask) != 0) {
        // FAT and exFAT have no permission bits to set; the data is what counts there.
        if (::fchmod(output.fd(), mode) != 0 && errno != EPERM && errno != ENOSYS && errno != EOPNOTSUPP)
            return failed(Status::DestinationFailed);
    }
    const timespec times[2] = {sourceInfo.st_atim, sourceInfo.st_mtim};
    if (::futimens(output.fd(), times) != 0)
        return failed(Status::DestinationFailed);
    bool keepFailed = false;
    const auto keep = [&]() {
        const std::error_code kept = beforeReplace();
        keepFailed = static_cast<bool>(kept);
        return kept;
    };
    const std::error_code commitError =
        folderFd == AT_FDCWD ? output.commit(name)
                             : output.commitInto(folderFd, name, beforeReplace ? keep : BeforeReplace());
    if (commitError) {
        CopyOutcome outcome = failed(Status::DestinationFailed, commitError);
        outcome.keepFailed = keepFailed;
        return outcome;
    }
    CopyOutcome copied;
    copied.bytes = static_cast<std::uint64_t>(sourceInfo.st_size);
    copied.lost = lost;
    copied.modified = sourceInfo.st_mtim;
    if (digestHere) {
        copied.digest = m_digest.result();
        copied.digested = m_digested;
    }
    return copied;
}

CopyOutcome FileCopier::copyLink(const std::string& source, const std::string& target, bool onlyWhenDifferent)
{
    const std::string parent = paths::parentFolder(target);
    const UniqueFd folder(::open(parent.empty() ? "." : parent.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!folder)
        return failed(Status::DestinationFailed);
    return copyLinkInto(source, folder.get(), paths::fileNamePart(paths::withoutTrailingSeparator(target)),
                        onlyWhenDifferent);
}

CopyOutcome FileCopier::copyLinkInto(const std::string& source, int folderFd, const std::string& name,
                                     bool onlyWhenDifferent, const BeforeReplace& beforeReplace)
{
    int error = 0;
    const std::optional<std::string> text = readLink(source, error);
    if (!text)
        return error == EINVAL ? changedKind()
                               : failed(Status::SourceFailed, {error, std::generic_category()});
    if (onlyWhenDifferent) {
        const std::optional<std::string> present = readLinkAt(folderFd, name, error);
        if (present && *present == *text)
            return {Status::Unchanged, {}, false};
    }
    struct stat linkInfo {};
    Metadata metadata;
    const bool haveInfo = readMetadata(source, metadata, linkInfo) || linkInfo.st_mode != 0;
    MetadataLoss lost;
    // A link's own owner and times; its bits mean nothing.
    const auto setTimes = [&](int folder, const std::string& entry) {
        if (haveInfo) {
            lost = applyMetadataAt(folder, entry, metadata);
            const timespec times[2] = {linkInfo.st_atim, linkInfo.st_mtim};
            ::utimensat(folder, entry.c_str(), times, AT_SYMLINK_NOFOLLOW);
        }
    };
    const auto made = [&]() {
        CopyOutcome outcome;
        outcome.lost = lost;
        return outcome;
    };
    if (::symlinkat(text->c_str(), folderFd, name.c_str()) == 0) {
        setTimes(folderFd, name);
        return made();
    }
    if (errno != EEXIST)
        return failed(refusesLinks(errno) ? Status::LinksRefused : Status::DestinationFailed);
    // Something stands there: the new link is made under a temporary name and takes the
    // name in one rename.
    struct stat folderInfo {};
    const int temporaryFolder = temporaryFolderFor(
        folderFd, ::fstat(folderFd, &folderInfo) == 0 ? static_cast<std::uint64_t>(folderInfo.st_dev) : 0);
    std::string temporary;
    for (int attempt = 0;; ++attempt) {
        temporary = TemporaryFile::freshName({}).substr(2); // without "./"
        if (::symlinkat(text->c_str(), temporaryFolder, temporary.c_str()) == 0)
            break;
        if (errno != EEXIST || attempt == 100)
            return failed(refusesLinks(errno) ? Status::LinksRefused : Status::DestinationFailed);
    }
    setTimes(temporaryFolder, temporary);
    if (beforeReplace) {
        if (const std::error_code kept = beforeReplace()) {
            ::unlinkat(temporaryFolder, temporary.c_str(), 0);
            CopyOutcome outcome = failed(Status::DestinationFailed, kept);
            outcome.keepFailed = true;
            return outcome;
        }
    }
    if (::renameat(temporaryFolder, temporary.c_str(), folderFd, name.c_str()) != 0) {
        const CopyOutcome outcome = failed(Status::DestinationFailed);
        ::unlinkat(temporaryFolder, temporary.c_str(), 0);
        return outcome;
    }
    return made();
}

void FileCopier::useTemporaryFolder(int folderFd)
{
    struct stat info {};
    m_temporaryFolder = folderFd >= 0 && ::fstat(folderFd, &info) == 0 ? folderFd : -1;
    m_temporaryDevice = static_cast<std::uint64_t>(info.st_dev);
    // A file made in a folder with a default ACL is given an ACL of its own, which a copy
    // of a file without one must lose; in a folder without one there is nothing to lose.
    m_temporaryFolderGivesAcl =
        m_temporaryFolder >= 0 && ::fgetxattr(m_temporaryFolder, "system.posix_acl_default", nullptr, 0) >= 0;
    m_temporaryOwnership.reset();
}

int FileCopier::temporaryFolderFor(int folderFd, std::uint64_t device) const
{
    // A rename cannot cross file systems: a target on a mount inside the destination has
    // its temporary beside it.
    return m_temporaryFolder >= 0 && device == m_temporaryDevice ? m_temporaryFolder : folderFd;
}

std::uint64_t FileCopier::folderDevice(const std::string& folder)
{
    // Most copies go to the folder of the one before, whose device is known by then.
    if (folder != m_lastFolder) {
        struct stat info {};
        m_lastFolder = folder;
        m_lastFolderDevice = ::stat(folder.c_str(), &info) == 0 ? static_cast<std::uint64_t>(info.st_dev) : 0;
    }
    return m_lastFolderDevice;
}

bool FileCopier::shareBlocks(int sourceFd, int targetFd, std::uint64_t sourceDevice,
                             std::uint64_t targetDevice)
{
    const std::pair devices{sourceDevice, targetDevice};
    if (std::find(m_noSharing.begin(), m_noSharing.end(), devices) != m_noSharing.end())
        return false;
    if (::ioctl(targetFd, FICLONE, sourceFd) == 0)
        return true;
    // A file system that cannot share blocks says so for every file: remember it rather
    // than asking again for each of thousands of small files. Other errors (a full disk)
    // are left to the ordinary copy, which reports them.
    const int error = errno;
    if (error == EOPNOTSUPP || error == ENOTTY || error == EXDEV || error == EINVAL || error == ENOSYS ||
        error == EPERM || error == EBADF)
        m_noSharing.push_back(devices);
    return false;
}

CopyOutcome FileCopier::copyData(int sourceFd, int targetFd, const struct stat& source,
                                 const CopyProgress& progress)
{
    const auto size = static_cast<std::uint64_t>(source.st_size);
    // Files that report no size copy nothing through copy_file_range; a plain read finds
    // out whether there really is nothing.
    if (size == 0)
        return readWriteRange(sourceFd, targetFd, 0, std::numeric_limits<std::uint64_t>::max(), 0, progress);
    // Fewer blocks than the size needs: the file has holes. Only its data is copied and
    // the holes stay holes, so a disk image that uses little takes little in the backup.
    const bool sparse = static_cast<std::uint64_t>(source.st_blocks) * 512 < size;
    if (!sparse)
        return copyRange(sourceFd, targetFd, 0, size, size, progress);

    std::uint64_t at = 0;
    while (at < size) {
        off_t data = ::lseek(sourceFd, static_cast<off_t>(at), SEEK_DATA);
        off_t hole = static_cast<off_t>(size);
        if (data < 0) {
            if (errno == ENXIO)
                break; // only a hole is left
            if (errno != EINVAL && errno != EOPNOTSUPP)
                return failed(Status::SourceFailed);
            data = static_cast<off_t>(at); // no hole finding here: copy the rest whole
        } else {
            hole = ::lseek(sourceFd, data, SEEK_HOLE);
            if (hole < 0)
                hole = static_cast<off_t>(size);
        }
        const std::uint64_t from = static_cast<std::uint64_t>(data);
        const std::uint64_t to = std::min<std::uint64_t>(static_cast<std::uint64_t>(hole), size);
        if (from >= size)
            break;
        const CopyOutcome outcome = copyRange(sourceFd, targetFd, from, to, size, progress);
        if (outcome.status != Status::Copied)
            return outcome;
        at = to;
    }
    // A hole at the end has no data to write: the size says where the file ends.
    if (::ftruncate(targetFd, static_cast<off_t>(size)) != 0)
        return failed(Status::DestinationFailed);
    return {};
}

CopyOutcome FileCopier::copyRange(int sourceFd, int targetFd, std::uint64_t from, std::uint64_t to,
                                  std::uint64_t size, const CopyProgress& progress)
{
    auto in = static_cast<loff_t>(from);
    auto out = static_cast<loff_t>(from);
    while (static_cast<std::uint64_t>(in) < to) {
        const std::uint64_t chunk = std::min<std::uint64_t>(to - static_cast<std::uint64_t>(in), kChunkSize);
        const ssize_t count = ::copy_file_range(sourceFd, &in, targetFd, &out, chunk, 0);
        if (count > 0) {
            if (progress && !progress(static_cast<std::uint64_t>(in), size))
                return {Status::Cancelled, {}, false};
            continue;
        }
        if (count == 0)
            return {}; // the file shrank meanwhile
        if (errno == EINTR)
            continue;
        // A refusal means the plain copy must do; any other failure is repeated by the
        // plain copy, which tells a read failure of the source from a write failure of the
        // target where copy_file_range cannot.
        return readWriteRange(sourceFd, targetFd, static_cast<std::uint64_t>(in), to, size, progress);
    }
    return {};
}

CopyOutcome FileCopier::readWriteRange(int sourceFd, int targetFd, std::uint64_t from, std::uint64_t to,
                                       std::uint64_t size, const CopyProgress& progress, bool digest)
{
    if (!m_buffer)
        m_buffer = std::make_unique<char[]>(kBufferSize);
    std::uint64_t at = from;
    while (at < to) {
        const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(to - at, kBufferSize));
        const ssize_t got = ::pread(sourceFd, m_buffer.get(), want, static_cast<off_t>(at));
        if (got == 0)
            return {};
        if (got < 0) {
            if (errno == EINTR)
                continue;
            return failed(Status::SourceFailed);
        }
        const char* data = m_buffer.get();
        auto remaining = static_cast<std::size_t>(got);
        if (digest) {
            m_digest.add(std::as_bytes(std::span(data, remaining)));
            m_digested += remaining;
        }
        std::uint64_t writeAt = at;
        while (remaining > 0) {
            const ssize_t written = ::pwrite(targetFd, data, remaining, static_cast<off_t>(writeAt));
            if (written < 0) {
                if (errno == EINTR)
                    continue;
                return failed(Status::DestinationFailed);
            }
            if (written == 0)
                return failed(Status::DestinationFailed, std::make_error_code(std::errc::no_space_on_device));
            data += written;
            writeAt += static_cast<std::uint64_t>(written);
            remaining -= static_cast<std::size_t>(written);
        }
        at += static_cast<std::uint64_t>(got);
        if (progress && !progress(at, size))
            return {Status::Cancelled, {}, false};
    }
    return {};
}

} // namespace stowmere::files
