// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/FolderListing.h"

#include "platform/OpenFolder.h"

namespace stowmere::files {

std::vector<FolderEntry> listFolder(const std::string& folder)
{
    return OpenFolder(folder).entries();
}

} // namespace stowmere::files
