// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "catalog/ScheduledBackup.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace stowmere::catalog {

/// A set number written as text (a unit name, a word typed): decimal digits only, within
/// the number column's range.
std::optional<std::int32_t> setNumberFromText(const std::string& text);

/// The daily backups of sets, as the systemd user units "stowmere-backup-TAG-N" in a unit
/// folder (and "stowmere-backup-N", as earlier versions named them), and their scheduled
/// verifications, "stowmere-verify-TAG-N": finding them, and
/// removing one with its timer stopped. Both front ends use it, so that a set deleted in
/// either loses its schedule.
class SetSchedules {
public:
    explicit SetSchedules(std::string unitFolder = defaultUnitFolder());

    /// $XDG_CONFIG_HOME/systemd/user (default ~/.config/systemd/user), where systemd looks
    /// for a user's own units.
    static std::string defaultUnitFolder();

    const std::string& unitFolder() const { return m_unitFolder; }
    /// The file of a unit (a name without suffix) with the suffix (".timer", ".service").
    std::string unitPath(const std::string& unit, const char* suffix) const;
    /// The link that enables a unit's timer (in timers.target.wants).
    std::string wantsLink(const std::string& unit) const;

    /// Every schedule this program wrote into the unit folder, by set number, then data
    /// folder. A file of our name whose metadata does not match its name is not ours.
    std::vector<ScheduledBackup> schedules() const;
    /// The backup schedule of a set number of a data folder, under either name.
    std::optional<ScheduledBackup> scheduleOf(std::int32_t setNumber, const std::string& dataFolder) const;
    /// Every schedule of a set number of a data folder: its backup and its verification.
    std::vector<ScheduledBackup> schedulesOf(std::int32_t setNumber, const std::string& dataFolder) const;
    /// Whether the timer is enabled (linked from timers.target.wants).
    bool isEnabled(const ScheduledBackup& backup) const;

    struct Removal {
        bool complete = true;         ///< the unit files and the enable link are gone
        bool managerAnswered = false; ///< a user manager stopped the timer
        /// What could not be removed, and without a manager the reminder about cron, a
        /// line each.
        std::vector<std::string> notes;
    };
    /// Stops the timer ("systemctl --user disable --now"), removes both unit files and, where
    /// no user manager answers, the enable link as systemctl would have.
    Removal remove(const ScheduledBackup& backup) const;

    /// Removes the schedules of a set just deleted from dataFolder, if it has any; a schedule
    /// of the same number for another data folder is left alone. What was done, a line each.
    std::vector<std::string> setDeleted(std::int32_t setNumber, const std::string& dataFolder) const;

    /// The folder made absolute against the current folder, "." and ".." steps and a
    /// trailing separator removed: how schedules record their data folder.
    static std::string absoluteFolder(const std::string& folder);
    /// Whether backup runs on dataFolder: the same text once absolute, or the same folder
    /// reached another way (through a link).
    static bool belongsTo(const ScheduledBackup& backup, const std::string& dataFolder);

private:
    std::string m_unitFolder;
};

} // namespace stowmere::catalog
