// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/FileQueries.h"

#include <string>
#include <vector>

namespace stowmere::files {

struct FolderEntry {
    std::string name;
    EntryKind kind = EntryKind::Missing; ///< links followed; Missing for a dangling link
    bool link = false;                   ///< the entry itself is a symbolic link
};

/// Every entry of the folder except "." and "..", hidden (dot) entries included, in the
/// order the file system returns them. Throws std::system_error naming the folder when it
/// cannot be opened or read.
std::vector<FolderEntry> listFolder(const std::string& folder);

} // namespace stowmere::files
