// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "backup/BackupEngine.h"
#include "catalog/DestinationGuard.h"
#include "catalog/Entities.h"
#include "catalog/RunRecord.h"
#include "catalog/RunRequest.h"

#include <string>
#include <vector>

namespace stowmere::catalog {

/// What the start of a backup run decided, the same for the window and the command line,
/// which only present it.
struct RunStart {
    enum class Verdict {
        Go,            ///< the run may start
        Refused,       ///< the run does not start; refusal says why and it is recorded as refused
        AskAboutDrive, ///< the destination lies on another drive than at the last backup:
                       ///< drive.question asks whether to go on, and its answer is No unless
                       ///< the user says otherwise
    };
    Verdict verdict = Verdict::Go;
    /// Why the run is refused, in the program's words; empty for a refusal without a word
    /// (the set's path range is empty).
    std::string refusal;
    /// The refusal is a failure, not news: the destination cannot be written. The window
    /// shows it in an error box.
    bool failure = false;
    /// The guard's verdict (also when the run goes ahead: a run that went through records
    /// the drive, and a drive that cannot be told is worth a note).
    DriveCheck drive;
    BackupSet set;
    /// The engine's settings for the run.
    backup::BackupSettings settings;
    /// The items checked when the run was started, in list order.
    std::vector<std::string> checkedItems;

    /// The space question's input: whether the copies surely fit the destination without
    /// counting them first. When they may not, the run counts first, so a run that cannot
    /// fit is asked about before anything is written.
    bool copiesSurelyFit() const;
    /// The record of this run refused for reason (the refusal, or the drive question the
    /// user said No to).
    RunRecord refusedRecord(const std::string& dataFolder, const std::string& reason,
                            RunRecord::Clock::time_point start, const std::string& program) const;
};

/// How far startRun checks.
enum class StartFor {
    Backup,  ///< every check, the drive guard included
    Preview, ///< what would refuse the run, with the same words, without the guard: a
             ///< preview writes nothing
};

/// The start of a run of request: the Backup button's checks in their order, the checked
/// items apart from the destination, a destination that can be written (its run lock
/// included), then the drive guard.
RunStart startRun(const RunRequest& request, StartFor purpose = StartFor::Backup);

} // namespace stowmere::catalog
