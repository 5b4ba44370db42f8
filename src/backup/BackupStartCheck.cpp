// SPDX-License-Identifier: GPL-3.0-or-later
#include "backup/BackupStartCheck.h"

#include "platform/FileQueries.h"

namespace stowmere::backup {

BackupStartCheck CheckBackupStart(const std::string& destination, std::size_t itemCount,
                                  std::size_t checkedCount, bool pathRangeEmpty)
{
    if (!files::isFolder(destination))
        return {false, "Backup To Folder does not exist."};
    if (itemCount == 0)
        return {false, "File and folder list is empty."};
    if (checkedCount == 0)
        return {false, "No file or folder is selected for Backup."};
    // The list can only hold items of a non-empty range, so this guards a stale list.
    if (pathRangeEmpty)
        return {false, {}};
    return {true, {}};
}

} // namespace stowmere::backup
