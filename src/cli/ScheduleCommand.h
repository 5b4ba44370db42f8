// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "catalog/ScheduledBackup.h"
#include "catalog/SetSchedules.h"
#include "cli/CommandLine.h"
#include "cli/ExitCode.h"

#include <ostream>
#include <string>

namespace stowmere::cli {

/// The schedule and unschedule commands: daily backups as systemd user timers named
/// "stowmere-backup-<folder tag>-<set number>" in $XDG_CONFIG_HOME/systemd/user, and weekly
/// or monthly verifications beside them, "stowmere-verify-<folder tag>-<set number>".
///
/// Where no user manager answers (a server without a login session, a container) the unit
/// files are still written or removed, and the command says how to enable them and gives
/// the equivalent crontab line.
class ScheduleCommand {
public:
    ScheduleCommand(std::ostream& out, std::ostream& err,
                    std::string unitFolder = catalog::SetSchedules::defaultUnitFolder());

    /// Runs "schedule", "schedule SET [--daily HH:MM [--incremental]] [--verify weekly|monthly]",
    /// "unschedule SET" or
    /// "unschedule --all" against the tables in dataFolder.
    ExitCode run(const CommandLine& line, const std::string& dataFolder);

private:
    ExitCode list();
    ExitCode schedule(const CommandLine& line, const std::string& dataFolder);
    /// Writes one schedule's units and starts its timer, replacing an earlier one of the
    /// same kind of the set.
    ExitCode install(const catalog::ScheduledBackup& backup);
    ExitCode unschedule(const CommandLine& line, const std::string& dataFolder);
    ExitCode unscheduleAll();

    std::ostream& m_out;
    std::ostream& m_err;
    catalog::SetSchedules m_schedules;
};

} // namespace stowmere::cli
