// SPDX-License-Identifier: GPL-3.0-or-later
#include "catalog/SetSchedules.h"

#include "catalog/SystemdUser.h"
#include "platform/Locations.h"
#include "platform/Paths.h"
#include "platform/WholeFile.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>
#include <tuple>

namespace stowmere::catalog {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view kUnitPrefix = "stowmere-backup-";
constexpr std::string_view kVerifyUnitPrefix = "stowmere-verify-";
constexpr std::string_view kTimerSuffix = ".timer";

std::optional<std::string> readText(const std::string& path)
{
    try {
        return files::readWholeFile(path);
    } catch (const files::ReadError&) {
        return std::nullopt;
    }
}

/// Removes a file or link; true when it is gone afterwards, else the reason is noted.
bool removeEntry(const std::string& path, std::vector<std::string>& notes)
{
    std::error_code error;
    fs::remove(path, error);
    if (error) {
        notes.push_back("cannot remove " + path + ": " + error.message());
        return false;
    }
    return true;
}

} // namespace

std::optional<std::int32_t> setNumberFromText(const std::string& text)
{
    if (text.empty() || text.size() > 10 ||
        !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return std::nullopt;
    const long long value = std::stoll(text);
    if (value > INT32_MAX)
        return std::nullopt;
    return static_cast<std::int32_t>(value);
}

SetSchedules::SetSchedules(std::string unitFolder) : m_unitFolder(std::move(unitFolder)) {}

std::string SetSchedules::defaultUnitFolder()
{
    return paths::join(locations::configFolder(), "systemd/user");
}

std::string SetSchedules::unitPath(const std::string& unit, const char* suffix) const
{
    return paths::join(m_unitFolder, unit + suffix);
}

std::string SetSchedules::wantsLink(const std::string& unit) const
{
    return paths::join(m_unitFolder, "timers.target.wants/" + unit + ".timer");
}

std::vector<ScheduledBackup> SetSchedules::schedules() const
{
    std::vector<ScheduledBackup> result;
    std::error_code error;
    for (fs::directory_iterator it(m_unitFolder, error), end; !error && it != end; it.increment(error)) {
        const std::string name = it->path().filename().string();
        if (!(name.starts_with(kUnitPrefix) || name.starts_with(kVerifyUnitPrefix)) ||
            !name.ends_with(kTimerSuffix))
            continue;
        const std::string unit = name.substr(0, name.size() - kTimerSuffix.size());
        const std::optional<std::string> text = readText(unitPath(unit, ".timer"));
        std::optional<ScheduledBackup> backup = text ? ScheduledBackup::fromTimerText(*text) : std::nullopt;
        if (!backup)
            continue;
        const bool named =
            backup->verify ? unit == ScheduledBackup::verifyUnitName(backup->setNumber, backup->dataFolder)
                           : unit == ScheduledBackup::unitName(backup->setNumber, backup->dataFolder) ||
                                 unit == ScheduledBackup::legacyUnitName(backup->setNumber);
        if (!named)
            continue;
        backup->unit = unit;
        result.push_back(std::move(*backup));
    }
    std::sort(result.begin(), result.end(), [](const ScheduledBackup& a, const ScheduledBackup& b) {
        return std::tie(a.setNumber, a.dataFolder, a.unit) < std::tie(b.setNumber, b.dataFolder, b.unit);
    });
    return result;
}

std::optional<ScheduledBackup> SetSchedules::scheduleOf(std::int32_t setNumber,
                                                        const std::string& dataFolder) const
{
    // The data folder may be named another way than when it was scheduled (through a
    // link), so the match is by what the timers record, not by the name alone. A unit of
    // the present name wins over one left from an earlier version.
    std::optional<ScheduledBackup> found;
    for (ScheduledBackup& backup : schedules()) {
        if (backup.verify || backup.setNumber != setNumber || !belongsTo(backup, dataFolder))
            continue;
        const bool legacy = backup.unit == ScheduledBackup::legacyUnitName(setNumber);
        if (!found || !legacy)
            found = std::move(backup);
    }
    return found;
}

bool SetSchedules::isEnabled(const ScheduledBackup& backup) const
{
    std::error_code error;
    return fs::is_symlink(fs::symlink_status(wantsLink(backup.unitName()), error));
}

SetSchedules::Removal SetSchedules::remove(const ScheduledBackup& backup) const
{
    Removal removal;
    const std::string timerUnit = backup.unitName() + ".timer";
    const SystemdUser::Outcome disable = SystemdUser::run({"disable", "--now", timerUnit});
    removal.managerAnswered = disable.succeeded;
    // Without a user manager the enable link (made by hand as the schedule command advised)
    // is removed here, as systemctl disable would.
    if (!disable.succeeded && isEnabled(backup))
        removal.complete = removeEntry(wantsLink(backup.unitName()), removal.notes);
    removal.complete = removeEntry(unitPath(backup.unitName(), ".timer"), removal.notes) && removal.complete;
    removal.complete =
        removeEntry(unitPath(backup.unitName(), ".service"), removal.notes) && removal.complete;
    if (disable.succeeded)
        SystemdUser::run({"daemon-reload"});
    else
        removal.notes.push_back(
            "no systemd user manager answered (" + disable.message + "); the unit files of " +
            backup.unitName() +
            " are removed. If you added its line to your crontab, remove it with 'crontab -e'.");
    return removal;
}

std::vector<ScheduledBackup> SetSchedules::schedulesOf(std::int32_t setNumber,
                                                       const std::string& dataFolder) const
{
    std::vector<ScheduledBackup> found;
    for (ScheduledBackup& backup : schedules())
        if (backup.setNumber == setNumber && belongsTo(backup, dataFolder))
            found.push_back(std::move(backup));
    return found;
}

std::vector<std::string> SetSchedules::setDeleted(std::int32_t setNumber, const std::string& dataFolder) const
{
    std::vector<std::string> notes;
    for (const ScheduledBackup& backup : schedulesOf(setNumber, dataFolder)) {
        Removal removal = remove(backup);
        if (removal.complete)
            removal.notes.push_back("removed the schedule of the deleted set (" + backup.unitName() +
                                    ".timer)");
        else
            removal.notes.push_back("warning: the set is deleted but its schedule " + backup.unitName() +
                                    " could not be removed");
        notes.insert(notes.end(), removal.notes.begin(), removal.notes.end());
    }
    return notes;
}

std::string SetSchedules::absoluteFolder(const std::string& folder)
{
    fs::path full(folder);
    if (full.is_relative()) {
        std::error_code error;
        const fs::path current = fs::current_path(error);
        if (!error)
            full = current / full;
    }
    return paths::withoutTrailingSeparator(full.lexically_normal().string());
}

bool SetSchedules::belongsTo(const ScheduledBackup& backup, const std::string& dataFolder)
{
    if (backup.dataFolder == absoluteFolder(dataFolder))
        return true;
    std::error_code error;
    return fs::equivalent(backup.dataFolder, dataFolder, error) && !error;
}

} // namespace stowmere::catalog
