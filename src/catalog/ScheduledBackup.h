// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace stowmere::catalog {

/// A time of day as --daily takes it.
struct DailyTime {
    int hour = 0;
    int minute = 0;

    /// "H:MM" or "HH:MM", 00:00 to 23:59; nothing for anything else.
    static std::optional<DailyTime> parse(std::string_view text);
    /// Always "HH:MM".
    std::string text() const;

    bool operator==(const DailyTime&) const = default;
};

/// How often a scheduled verification runs.
enum class VerifyPeriod { Weekly, Monthly };

/// "weekly", "monthly"; and back, nothing for any other word.
const char* verifyPeriodName(VerifyPeriod period);
std::optional<VerifyPeriod> verifyPeriodFromName(std::string_view name);

/// A text that cannot go into a unit file or a crontab line (a control character in a path).
class ScheduleError : public std::runtime_error {
    using std::runtime_error::runtime_error;
};

/// One daily backup of a set, as the systemd user units "stowmere-backup-TAG-N" run it; or,
/// with verify set, the set's second timer, "stowmere-verify-TAG-N", which verifies its
/// copies weekly or monthly.
///
/// The timer carries an [X-Stowmere] section (systemd ignores sections starting with
/// "X-") with the set, its data folder and the kind of run, so that the units can be
/// listed and matched to their data folder later without parsing command lines back.
struct ScheduledBackup {
    std::int32_t setNumber = 0;
    std::string description; ///< the set's description when it was scheduled
    DailyTime time;          ///< of a backup
    bool incremental = false;
    /// Set for a verification: how often it runs (time and incremental then do not apply).
    std::optional<VerifyPeriod> verify;
    std::string dataFolder; ///< absolute
    std::string executable; ///< absolute path of stowmere-cli
    /// The name of both units without the suffix, as found in the unit folder; empty for a
    /// schedule not written yet, which takes unitName(setNumber, dataFolder).
    std::string unit;

    /// "stowmere-backup-<folder tag>-<set number>", the name of both units without the
    /// suffix: set numbers of two data folders never share a name.
    static std::string unitName(std::int32_t setNumber, const std::string& dataFolder);
    /// "stowmere-verify-<folder tag>-<set number>", the name of a verification's units.
    static std::string verifyUnitName(std::int32_t setNumber, const std::string& dataFolder);
    /// "stowmere-backup-<set number>", the name earlier versions gave, still found, listed
    /// and removed.
    static std::string legacyUnitName(std::int32_t setNumber);
    /// Eight hexadecimal digits of a hash of the absolute data folder's text. Part of the
    /// unit names on disk: it never changes.
    static std::string folderTag(const std::string& dataFolder);
    std::string unitName() const
    {
        if (!unit.empty())
            return unit;
        return verify ? verifyUnitName(setNumber, dataFolder) : unitName(setNumber, dataFolder);
    }
    /// "daily 02:30", "weekly", "monthly": when it runs, as listed.
    std::string whenText() const;

    /// The oneshot service that runs the backup, at a low CPU and idle I/O priority so that
    /// it never competes with the user's work. A stop (SIGTERM, exit code 143) is not a
    /// failure, and a program that is gone fails the run with an assertion naming it.
    /// Throws ScheduleError for a path that cannot be written into a unit file.
    std::string serviceText() const;
    /// The timer: daily at the time (or weekly, monthly for a verification), Persistent=true
    /// so a run missed while the computer was off or asleep starts as soon as it is back.
    std::string timerText() const;
    /// The line for crontab -e that runs the same backup, with "%" escaped for cron and
    /// every path quoted for the shell. Output is left to cron's mail, so --quiet.
    std::string crontabLine() const;

    /// Reads back the timer text written by timerText(); nothing for any other unit.
    static std::optional<ScheduledBackup> fromTimerText(std::string_view text);
};

} // namespace stowmere::catalog
