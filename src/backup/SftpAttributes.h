// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "backup/Destination.h"
#include "backup/SftpConnection.h"

#include <cstdint>
#include <ctime>
#include <string>
#include <sys/stat.h>
#include <system_error>

namespace stowmere::backup::sftp {

inline std::error_code codeOf(int error)
{
    return {error, std::generic_category()};
}

/// The kind of entry the attributes describe; Other when the server tells no kind.
inline DestinationKind kindOf(const Attributes& attributes)
{
    if (!(attributes.flags & AttrPermissions))
        return DestinationKind::Other;
    switch (attributes.permissions & S_IFMT) {
    case S_IFREG:
        return DestinationKind::File;
    case S_IFDIR:
        return DestinationKind::Folder;
    case S_IFLNK:
        return DestinationKind::Link;
    default:
        return DestinationKind::Other;
    }
}

/// A single name of a folder's entry: never empty, ".", ".." or with a separator.
inline bool validName(const std::string& name)
{
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos &&
           name.find('\0') == std::string::npos;
}

/// SFTP carries seconds; a time the protocol cannot hold is clamped rather than wrapped.
inline std::uint32_t secondsOf(const timespec& time)
{
    if (time.tv_sec < 0)
        return 0;
    if (time.tv_sec > 0xFFFFFFFFLL)
        return 0xFFFFFFFFU;
    return static_cast<std::uint32_t>(time.tv_sec);
}

} // namespace stowmere::backup::sftp
