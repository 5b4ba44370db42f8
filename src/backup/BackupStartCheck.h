// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <string>

namespace stowmere::backup {

/// What the Backup button does after its checks.
struct BackupStartCheck {
    bool start = false;
    /// Text of the information box to show; empty when none is shown.
    std::string information;
};

/// The checks the Backup button makes before a run, in their order: the destination must
/// be an existing folder ("Backup To Folder does not exist."), the list must have items
/// ("File and folder list is empty."), one must be checked ("No file or folder is selected
/// for Backup."), and when the backup set's path range is empty the button stops silently.
BackupStartCheck CheckBackupStart(const std::string& destination, std::size_t itemCount,
                                  std::size_t checkedCount, bool pathRangeEmpty);

} // namespace stowmere::backup
