// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "catalog/ScheduledBackup.h"

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace stowmere::cli {

enum class Command {
    None,
    Help,
    List,
    Paths,
    NewSet,
    AddPaths,
    RemovePaths,
    DeleteSet,
    Backup,
    Dump,
    Schedule,
    Unschedule,
    History,
    Options,
    Versions,
    Restore,
    TrustHost,
    Verify
};

/// When a backup sends a desktop notification at its end.
enum class NotifyMode {
    Failures, ///< after warnings or a failure (the default)
    Always,   ///< after every run, a successful one too
    Never,
};

/// A command-line mistake. what() is the one-line reason shown to the user.
class UsageError : public std::runtime_error {
public:
    UsageError(Command command, const std::string& reason) : std::runtime_error(reason), m_command(command) {}
    Command command() const { return m_command; }

private:
    Command m_command;
};

/// The parsed command line of stowmere-cli.
struct CommandLine {
    Command command = Command::None;
    bool help = false;                 ///< --help given: show the command's help and do nothing else
    bool version = false;              ///< --version given: show the version and do nothing else
    Command helpTopic = Command::None; ///< for "help COMMAND"
    std::optional<std::string> dataFolder;
    bool incremental = false;
    bool quiet = false;
    bool dryRun = false;  ///< --dry-run: list what the backup would do, write nothing
    bool json = false;    ///< --json: the dry run's list (or the history) as JSON Lines
    bool verbose = false; ///< --verbose: the dry run lists up-to-date files too
    bool force = false;   ///< --force: back up even when the copies do not fit the free space
    bool only = false;    ///< --only given; onlyPaths then holds at least one path
    std::vector<std::string> onlyPaths;
    std::optional<catalog::DailyTime> dailyTime; ///< --daily HH:MM of the schedule command
    /// --verify weekly|monthly of the schedule command: the set's second timer.
    std::optional<catalog::VerifyPeriod> verifyPeriod;
    bool acceptNewDrive = false; ///< --accept-new-drive: back up although the drive changed
    /// --allow-mass-removal: a mirrored backup moves a copy's files into versions even when
    /// most of them, or all, are gone from the source.
    bool allowMassRemoval = false;
    bool all = false; ///< --all of unschedule: every schedule, of every data folder
    /// --notify always|failures|never of the backup command; unset means Failures.
    std::optional<NotifyMode> notify;

    // The options command's changes, in the order given.
    std::vector<std::string> exclude;   ///< --exclude PATTERN
    std::vector<std::string> noExclude; ///< --no-exclude PATTERN
    std::optional<std::int32_t> keepVersions;
    std::optional<std::int32_t> keepDays;
    std::optional<std::int32_t> keepDaily;
    std::optional<std::int32_t> keepWeekly;
    std::optional<std::int32_t> keepMonthly;
    std::optional<bool> cacheDirTag; ///< --cachedir-tag on|off
    std::optional<bool> guard;       ///< --guard on|off
    std::optional<bool> mirror;      ///< --mirror on|off

    // The restore command's choices.
    std::optional<std::string> restoreTo; ///< --to DIR
    std::optional<std::string> at;        ///< --at TIME, as typed
    bool overwrite = false;               ///< --overwrite
    bool yes = false;                     ///< --yes of trust-host: trust without asking

    /// --against-source of the verify command: compare the copies with their sources too.
    bool againstSource = false;

    /// Whether the options command was asked to change anything.
    bool changesOptions() const
    {
        return !exclude.empty() || !noExclude.empty() || keepVersions || keepDays || keepDaily ||
               keepWeekly || keepMonthly || cacheDirTag || guard || mirror;
    }

    std::vector<std::string> arguments; ///< positional words after the command name

    /// Parses argv[1..]. Options may stand before or after the command and between its
    /// arguments; "--" makes every later word an argument (for paths that begin with '-').
    /// Throws UsageError with a one-line reason.
    static CommandLine parse(const std::vector<std::string>& words);
};

/// The name a command is typed as ("add-paths"); "" for Command::None.
std::string commandName(Command command);

/// The command typed as name, or Command::None.
Command commandFromName(const std::string& name);

} // namespace stowmere::cli
