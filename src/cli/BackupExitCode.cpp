// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/BackupExitCode.h"
#include "platform/Translation.h"

#include <csignal>

namespace stowmere::cli {

ExitCode exitCodeForSignal(int signalNumber)
{
    switch (signalNumber) {
    case SIGHUP:
        return ExitCode::HungUp;
    case SIGTERM:
        return ExitCode::Terminated;
    default:
        return ExitCode::Interrupted;
    }
}

ExitCode backupExitCode(const backup::BackupResult& result, int signal)
{
    if (result.refused)
        return ExitCode::NotStarted;
    if (result.copyFailed || result.otherErrors > 0)
        return ExitCode::CopyFailed;
    // A signal that came after the last item stopped nothing: the run is complete.
    if (signal != 0 && result.cancelled)
        return exitCodeForSignal(signal);
    if (!result.missingItems.empty() || result.notBackedUpCount > 0)
        return ExitCode::ItemsNotFound;
    return ExitCode::Success;
}

const char* backupOutcomeText(const backup::BackupResult& result, int signal)
{
    if (result.refused)
        return _("Backup not started");
    if (result.copyFailed)
        return _("Backup stopped after a failed copy");
    if (signal != 0 && result.cancelled)
        return _("Backup interrupted");
    if (result.otherErrors > 0)
        return _("Backup finished with errors");
    if (result.notBackedUpCount > 0)
        return _("Backup finished, some files could not be read");
    if (!result.missingItems.empty())
        return _("Backup finished, some items were not found");
    return _("Backup finished");
}

} // namespace stowmere::cli
