// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/FileNode.h"

#include "platform/TemporaryFile.h"

#include <cerrno>
#include <fcntl.h>
#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace stowmere::files {
namespace {

using Status = CopyOutcome::Status;

CopyOutcome failed(Status status, int error)
{
    CopyOutcome outcome;
    outcome.status = status;
    outcome.error = {error, std::generic_category()};
    return outcome;
}

// The node is its owner's alone until its own owner and bits are set.
int makeNode(int folderFd, const std::string& name, const struct stat& source)
{
    const mode_t format = source.st_mode & S_IFMT;
    const dev_t device = isDeviceFormat(format) ? source.st_rdev : 0;
    return ::mknodat(folderFd, name.c_str(), format | S_IRUSR | S_IWUSR, device);
}

} // namespace

bool isSpecialFormat(mode_t format)
{
    format &= S_IFMT;
    return format == S_IFIFO || format == S_IFSOCK || format == S_IFCHR || format == S_IFBLK;
}

bool isDeviceFormat(mode_t format)
{
    format &= S_IFMT;
    return format == S_IFCHR || format == S_IFBLK;
}

const char* specialKindWord(mode_t format)
{
    switch (format & S_IFMT) {
    case S_IFIFO:
        return "fifo";
    case S_IFSOCK:
        return "socket";
    case S_IFCHR:
        return "character device";
    case S_IFBLK:
        return "block device";
    default:
        return "special";
    }
}

bool mayMakeDevices()
{
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[_LINUX_CAPABILITY_U32S_3] = {};
    if (::syscall(SYS_capget, &header, data) != 0)
        return ::geteuid() == 0;
    return (data[CAP_MKNOD / 32].effective & (1U << (CAP_MKNOD % 32))) != 0;
}

CopyOutcome makeSpecialAt(int folderFd, const std::string& name, int temporaryFolderFd,
                          const struct stat& source, const Metadata& metadata,
                          const FileCopier::BeforeReplace& beforeReplace)
{
    if (!isSpecialFormat(source.st_mode) || (source.st_mode & S_IFMT) == S_IFSOCK)
        return failed(Status::SourceFailed, EINVAL);
    // Made where a copy's temporary file is, so that a run killed before the rename leaves
    // nothing a later run does not clear.
    std::string temporary;
    for (int attempt = 0;; ++attempt) {
        temporary = TemporaryFile::freshName({}).substr(2); // without "./"
        if (makeNode(temporaryFolderFd, temporary, source) == 0)
            break;
        if (errno != EEXIST || attempt == 100)
            return failed(Status::DestinationFailed, errno);
    }
    CopyOutcome outcome;
    // Owner before bits, as a change of owner clears set-uid and set-gid.
    outcome.lost = applyMetadataAt(temporaryFolderFd, temporary, metadata);
    // A file system without permission bits (FAT, exFAT) keeps the node all the same.
    if (::fchmodat(temporaryFolderFd, temporary.c_str(), safeModeBits(source.st_mode & 07777, outcome.lost),
                   0) != 0 &&
        errno != EPERM && errno != ENOSYS && errno != EOPNOTSUPP) {
        const int error = errno;
        ::unlinkat(temporaryFolderFd, temporary.c_str(), 0);
        return failed(Status::DestinationFailed, error);
    }
    const timespec times[2] = {source.st_atim, source.st_mtim};
    ::utimensat(temporaryFolderFd, temporary.c_str(), times, AT_SYMLINK_NOFOLLOW);
    struct stat there {};
    if (beforeReplace && ::fstatat(folderFd, name.c_str(), &there, AT_SYMLINK_NOFOLLOW) == 0) {
        if (const std::error_code kept = beforeReplace()) {
            ::unlinkat(temporaryFolderFd, temporary.c_str(), 0);
            outcome = failed(Status::DestinationFailed, kept.value());
            outcome.keepFailed = true;
            return outcome;
        }
    }
    if (::renameat(temporaryFolderFd, temporary.c_str(), folderFd, name.c_str()) != 0) {
        const int error = errno;
        ::unlinkat(temporaryFolderFd, temporary.c_str(), 0);
        return failed(Status::DestinationFailed, error);
    }
    return outcome;
}

} // namespace stowmere::files
