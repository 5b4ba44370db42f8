// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/FileQueries.h"

#include <array>
#include <fstream>
#include <linux/magic.h>
#include <sys/stat.h>
#include <sys/vfs.h>

namespace stowmere::files {
namespace {

// File systems that show the kernel's state rather than stored data. devtmpfs reports
// itself as tmpfs and cannot be told apart this way; it holds device nodes, which are
// never opened anyway.
constexpr std::array<unsigned long, 14> kPseudoFileSystems = {
    PROC_SUPER_MAGIC, SYSFS_MAGIC,      CGROUP_SUPER_MAGIC, CGROUP2_SUPER_MAGIC, DEBUGFS_MAGIC,
    TRACEFS_MAGIC,    SECURITYFS_MAGIC, PSTOREFS_MAGIC,     BPF_FS_MAGIC,        DEVPTS_SUPER_MAGIC,
    BINFMTFS_MAGIC,   SELINUX_MAGIC,    SMACK_MAGIC,        NSFS_MAGIC,
};

bool isPseudo(const struct statfs& info)
{
    const auto type = static_cast<unsigned long>(info.f_type);
    for (const unsigned long pseudo : kPseudoFileSystems) {
        if (type == pseudo)
            return true;
    }
    return false;
}

} // namespace

FileStatus statusOf(const std::string& path)
{
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0)
        return {};
    return statusFromStat(info);
}

FileStatus statusFromStat(const struct stat& info)
{
    FileStatus status;
    status.modified = info.st_mtim;
    status.size = static_cast<std::uint64_t>(info.st_size);
    status.identity = {static_cast<std::uint64_t>(info.st_dev), static_cast<std::uint64_t>(info.st_ino)};
    status.mode = info.st_mode & 07777;
    status.links = static_cast<std::uint32_t>(info.st_nlink);
    if (S_ISREG(info.st_mode))
        status.kind = EntryKind::File;
    else if (S_ISDIR(info.st_mode))
        status.kind = EntryKind::Folder;
    else
        status.kind = EntryKind::Other;
    status.link = S_ISLNK(info.st_mode);
    return status;
}

EntryKind kindOf(const std::string& path)
{
    return statusOf(path).kind;
}

bool isFile(const std::string& path)
{
    return kindOf(path) == EntryKind::File;
}

bool isFolder(const std::string& path)
{
    return kindOf(path) == EntryKind::Folder;
}

std::optional<FileIdentity> identityOf(const std::string& path)
{
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0)
        return std::nullopt;
    return FileIdentity{static_cast<std::uint64_t>(info.st_dev), static_cast<std::uint64_t>(info.st_ino)};
}

std::optional<timespec> modificationTime(const std::string& path)
{
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0)
        return std::nullopt;
    return info.st_mtim;
}

bool makeFolder(const std::string& path)
{
    return ::mkdir(path.c_str(), 0777) == 0;
}

bool onPseudoFileSystem(int fd)
{
    struct statfs info {};
    return ::fstatfs(fd, &info) == 0 && isPseudo(info);
}

bool onPseudoFileSystem(const std::string& path)
{
    struct statfs info {};
    return ::statfs(path.c_str(), &info) == 0 && isPseudo(info);
}

mode_t processUmask()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.starts_with("Umask:")) {
            try {
                return static_cast<mode_t>(std::stoul(line.substr(6), nullptr, 8));
            } catch (const std::exception&) {
                break;
            }
        }
    }
    return 07777;
}

} // namespace stowmere::files
