// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/FileLock.h"

#include <chrono>
#include <string>
#include <vector>

namespace stowmere::catalog {

/// The advisory lock that guards every read-modify-write of the table files, held as long
/// as the object lives. The lock file lies beside the files themselves: when a table file
/// is a symbolic link, in the folder of the file the link names, so that two data folders
/// linking to one pair of files share one lock.
class TablesLock {
public:
    /// Locks for these table files, waiting up to wait for another holder. Throws
    /// TablesBusy when the wait ends first, TableFileError when a lock file cannot be made.
    static TablesLock acquire(const std::vector<std::string>& tableFiles, std::chrono::milliseconds wait);

    /// The lock files held, one per folder, in the order they were taken.
    std::vector<std::string> paths() const;

private:
    explicit TablesLock(std::vector<files::FileLock> locks) : m_locks(std::move(locks)) {}

    std::vector<files::FileLock> m_locks;
};

} // namespace stowmere::catalog
