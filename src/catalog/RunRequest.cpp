// SPDX-License-Identifier: GPL-3.0-or-later
#include "catalog/RunRequest.h"

namespace stowmere::catalog {

std::size_t RunRequest::checkedCount() const
{
    std::size_t count = 0;
    for (std::size_t i = 0; i < items.size(); ++i)
        if (isChecked && isChecked(i))
            ++count;
    return count;
}

backup::BackupStartCheck RunRequest::startCheck() const
{
    return backup::checkBackupStart(set.destination, items.size(), checkedCount(), items.empty());
}

backup::BackupSettings RunRequest::settings() const
{
    backup::BackupSettings settings;
    settings.destination = set.destination;
    settings.incremental = incremental;
    settings.exclusions = options.exclusions;
    settings.honourCacheDirTag = options.cacheDirTag;
    settings.mirror = options.mirror;
    settings.keepVersions = options.keepVersions;
    settings.keepDays = options.keepDays;
    settings.keepDaily = options.keepDaily;
    settings.keepWeekly = options.keepWeekly;
    settings.keepMonthly = options.keepMonthly;
    return settings;
}

} // namespace stowmere::catalog
