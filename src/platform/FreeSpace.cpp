// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/FreeSpace.h"

#include <sys/statvfs.h>

namespace stowmere::files {

std::uint64_t freeBytes(const std::string& folder)
{
    struct statvfs info {};
    if (::statvfs(folder.c_str(), &info) != 0)
        return 0;
    return static_cast<std::uint64_t>(info.f_bavail) * static_cast<std::uint64_t>(info.f_frsize);
}

std::optional<std::uint64_t> usedBytes(const std::string& path)
{
    struct statvfs info {};
    if (::statvfs(path.c_str(), &info) != 0)
        return std::nullopt;
    const auto blocks = static_cast<std::uint64_t>(info.f_blocks);
    const auto free = static_cast<std::uint64_t>(info.f_bfree);
    return (blocks > free ? blocks - free : 0) * static_cast<std::uint64_t>(info.f_frsize);
}

} // namespace stowmere::files
