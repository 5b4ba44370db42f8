// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "cli/CommandLine.h"
#include "cli/ExitCode.h"
#include "cli/ScheduledBackup.h"

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace stowmere::cli {

/// The schedule and unschedule commands: daily backups as systemd user timers named
/// "stowmere-backup-<set number>" in $XDG_CONFIG_HOME/systemd/user.
///
/// Where no user manager answers (a server without a login session, a container) the unit
/// files are still written or removed, and the command says how to enable them and gives
/// the equivalent crontab line.
class ScheduleCommand {
public:
    ScheduleCommand(std::ostream& out, std::ostream& err, std::string unitFolder = defaultUnitFolder());

    /// $XDG_CONFIG_HOME/systemd/user (default ~/.config/systemd/user), where systemd looks
    /// for a user's own units.
    static std::string defaultUnitFolder();

    /// Runs "schedule", "schedule SET --daily HH:MM [--incremental]" or "unschedule SET"
    /// against the tables in dataFolder.
    ExitCode run(const CommandLine& line, const std::string& dataFolder);

    /// Removes the schedule of a set that was just deleted from dataFolder, if it has one.
    /// A schedule of the same set number in another data folder is left alone. Problems are
    /// reported as warnings: the set is gone either way.
    void setDeleted(std::int32_t setNumber, const std::string& dataFolder);

    /// Every schedule this program wrote into the unit folder, by set number.
    std::vector<ScheduledBackup> schedules() const;
    std::optional<ScheduledBackup> scheduleOf(std::int32_t setNumber) const;
    /// Whether the timer is enabled (linked from timers.target.wants).
    bool isEnabled(std::int32_t setNumber) const;

private:
    ExitCode list();
    ExitCode schedule(const CommandLine& line, const std::string& dataFolder);
    ExitCode unschedule(const CommandLine& line, const std::string& dataFolder);
    /// Stops and removes both units; false when something was left behind (reported).
    bool remove(const ScheduledBackup& backup);

    std::string unitPath(std::int32_t setNumber, const char* suffix) const;
    std::string wantsLink(std::int32_t setNumber) const;

    std::ostream& m_out;
    std::ostream& m_err;
    std::string m_unitFolder;
};

} // namespace stowmere::cli
