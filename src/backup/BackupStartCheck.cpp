// SPDX-License-Identifier: GPL-3.0-or-later
#include "backup/BackupStartCheck.h"

#include "backup/FailureReport.h"
#include "backup/OpenDestination.h"
#include "platform/FileQueries.h"
#include "platform/Paths.h"

#include <climits>
#include <cstdlib>
#include <memory>

namespace stowmere::backup {

BackupStartCheck checkBackupStart(const std::string& destination, std::size_t itemCount,
                                  std::size_t checkedCount, bool pathRangeEmpty)
{
    if (!isRemoteLocation(destination) && !files::isFolder(destination))
        return {false, missingDestinationText(destination)};
    if (itemCount == 0)
        return {false, "File and folder list is empty."};
    if (checkedCount == 0)
        return {false, "No file or folder is selected for Backup."};
    // The list can only hold items of a non-empty range, so this guards a stale list.
    if (pathRangeEmpty)
        return {false, {}};
    return {true, {}};
}

namespace {

// The path with every link resolved; empty when it does not exist.
std::string resolved(const std::string& path)
{
    const std::unique_ptr<char, decltype(&std::free)> real(::realpath(path.c_str(), nullptr), &std::free);
    return real ? std::string(real.get()) : std::string();
}

} // namespace

bool lieInsideEachOther(const std::string& destination, const std::string& item)
{
    const std::string realDestination = resolved(destination);
    const std::string realItem = resolved(item);
    if (realDestination.empty() || realItem.empty())
        return false;
    return realItem == realDestination || realItem.starts_with(paths::withTrailingSeparator(realDestination));
}

std::string checkItemsApart(const std::string& destination, const std::vector<std::string>& checkedItems)
{
    for (const std::string& item : checkedItems) {
        if (lieInsideEachOther(destination, item))
            return overlapText(destination, item);
    }
    return {};
}

} // namespace stowmere::backup
