// SPDX-License-Identifier: GPL-3.0-or-later
#include "catalog/TablesLock.h"

#include "catalog/Errors.h"
#include "catalog/Messages.h"
#include "catalog/Schema.h"
#include "store/StoreError.h"
#include "store/TableFiles.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

namespace stowmere::catalog {

TablesLock TablesLock::acquire(const std::vector<std::string>& tableFiles, std::chrono::milliseconds wait)
{
    std::vector<std::string> lockFiles;
    for (const std::string& file : tableFiles) {
        std::string target;
        try {
            target = store::followLinks(file);
        } catch (const store::StoreError& error) {
            throw TableFileError(error.what());
        }
        const std::filesystem::path folder = std::filesystem::path(target).parent_path();
        lockFiles.push_back((folder / schema::kLockFileName).string());
    }
    // One order for every holder, so two programs that need two lock files never wait on
    // each other's second one.
    std::sort(lockFiles.begin(), lockFiles.end());
    lockFiles.erase(std::unique(lockFiles.begin(), lockFiles.end()), lockFiles.end());

    const auto deadline = std::chrono::steady_clock::now() + wait;
    std::vector<files::FileLock> locks;
    for (const std::string& lockFile : lockFiles) {
        const auto left = std::max(std::chrono::duration_cast<std::chrono::milliseconds>(
                                       deadline - std::chrono::steady_clock::now()),
                                   std::chrono::milliseconds(0));
        std::optional<files::FileLock> lock;
        try {
            lock = files::FileLock::acquire(lockFile, left);
        } catch (const std::system_error& error) {
            throw TableFileError(error.what());
        }
        if (!lock)
            throw TablesBusy(_(messages::kTablesBusy.data()));
        locks.push_back(std::move(*lock));
    }
    return TablesLock(std::move(locks));
}

std::vector<std::string> TablesLock::paths() const
{
    std::vector<std::string> result;
    for (const files::FileLock& lock : m_locks)
        result.push_back(lock.path());
    return result;
}

} // namespace stowmere::catalog
