// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace stowmere::backup {

/// What the Backup button does after its checks.
struct BackupStartCheck {
    bool start = false;
    /// Text of the information box to show; empty when none is shown.
    std::string information;
};

/// The checks the Backup button makes before a run, in their order: the destination must
/// be an existing folder ("Backup To Folder DEST does not exist."), the list must have
/// items ("File and folder list is empty."), one must be checked ("No file or folder is
/// selected for Backup."), and when the backup set's path range is empty the button stops
/// silently.
BackupStartCheck checkBackupStart(const std::string& destination, std::size_t itemCount,
                                  std::size_t checkedCount, bool pathRangeEmpty);

/// Whether the folder destination and item are one folder or item lies inside destination
/// (links resolved; an item that does not exist overlaps nothing). Copying an item into
/// itself would nest one level deeper with every run.
bool lieInsideEachOther(const std::string& destination, const std::string& item);

/// The check the Backup button makes on the checked items after checkBackupStart: the
/// text of the information box for the first checked item that lies inside the
/// destination or is the destination ("The Backup To Folder %s and the item %s lie inside
/// each other."), empty when none does.
std::string checkItemsApart(const std::string& destination, const std::vector<std::string>& checkedItems);

} // namespace stowmere::backup
