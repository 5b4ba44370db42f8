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

} // namespace stowmere::files
