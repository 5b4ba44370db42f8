// SPDX-License-Identifier: GPL-3.0-or-later
#include "backup/OwnNames.h"

#include "backup/Destination.h"
#include "backup/Manifest.h"

namespace stowmere::backup {

bool isOwnTopLevelName(std::string_view name)
{
    return name == kVersionsFolderName || name == kRunRecordsFolderName || name == kTemporariesFolderName ||
           name == kRunLockFileName || name == kManifestFileName || name == kManifestJournalName;
}

} // namespace stowmere::backup
