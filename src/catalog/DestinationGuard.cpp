// SPDX-License-Identifier: GPL-3.0-or-later
#include "catalog/DestinationGuard.h"

#include "backup/OpenDestination.h"
#include "catalog/Messages.h"

namespace stowmere::catalog {

DriveCheck checkDrive(const SetOptions& options, const std::string& destination)
{
    DriveCheck check;
    std::string error;
    const auto identity = backup::identifyDestination(destination, error);
    if (!identity) {
        check.status = DriveCheck::Status::Unknown;
        check.error = error;
        return check;
    }
    check.identity = identity->key;
    if (!options.guard)
        check.status = DriveCheck::Status::Off;
    else if (options.driveIdentity.empty())
        check.status = DriveCheck::Status::First;
    else if (options.driveIdentity == check.identity)
        check.status = DriveCheck::Status::Same;
    else {
        check.status = DriveCheck::Status::Moved;
        check.question = messages::driveChangedQuestion(destination);
        check.finding = messages::driveChanged(destination);
    }
    return check;
}

} // namespace stowmere::catalog
