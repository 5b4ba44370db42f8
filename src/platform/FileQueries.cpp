// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/FileQueries.h"

#include <sys/stat.h>

namespace stowmere::files {

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
    if (S_ISREG(info.st_mode))
        status.kind = EntryKind::File;
    else if (S_ISDIR(info.st_mode))
        status.kind = EntryKind::Folder;
    else
        status.kind = EntryKind::Other;
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

} // namespace stowmere::files
