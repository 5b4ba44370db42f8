// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "catalog/Entities.h"

#include <string>

namespace stowmere::catalog {

/// Whether a run may go ahead into its destination: the drive the destination lies on now,
/// against the one the set's last successful run recorded. A destination whose drive is
/// not mounted falls through to the disk below it, which has another identity, and a run
/// there would fill the system disk instead of the backup drive.
struct DriveCheck {
    enum class Status {
        First,   ///< nothing recorded yet: the run records the drive
        Same,    ///< the drive of the last successful run
        Moved,   ///< another drive: the user is asked (question) before anything is copied
        Off,     ///< the set's guard is off; the drive is still recorded
        Unknown, ///< the drive could not be told (error says why); the run goes ahead
    };
    Status status = Status::First;
    /// The destination's file system now; empty when Unknown.
    std::string identity;
    std::string question;
    /// What was found when Moved, in one sentence without the question.
    std::string finding;
    std::string error;

    /// Whether a successful run should record identity in the set's options.
    bool needsRecording(const SetOptions& options) const
    {
        return !identity.empty() && identity != options.driveIdentity;
    }
};

/// The guard's verdict for a run of a set with these options into destination (as stored;
/// it must exist).
DriveCheck checkDrive(const SetOptions& options, const std::string& destination);

} // namespace stowmere::catalog
