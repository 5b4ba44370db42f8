// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/ScheduleCommand.h"

#include "catalog/Catalog.h"
#include "catalog/Errors.h"
#include "cli/CliApplication.h"
#include "cli/SetResolver.h"
#include "cli/SystemdUser.h"
#include "platform/AtomicFile.h"
#include "platform/Locations.h"
#include "platform/Paths.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <span>
#include <system_error>

namespace stowmere::cli {
namespace {

namespace fs = std::filesystem;
using catalog::RuleRefusal;

// The sets of a data folder as the set resolver takes them; a file that cannot be read
// stops the command, since the set it names could be among the rows lost.
std::vector<BackupSetEntry> readSets(const std::string& dataFolder)
{
    catalog::Catalog data(dataFolder);
    data.open();
    if (!data.openErrors().empty())
        throw catalog::TableFileError(data.openErrors().front());
    std::vector<BackupSetEntry> entries;
    for (const catalog::BackupSet& set : data.sets())
        entries.push_back({set.number, set.description, set.destination});
    return entries;
}

constexpr std::string_view kUnitPrefix = "stowmere-backup-";
constexpr std::string_view kTimerSuffix = ".timer";

void writeText(const std::string& path, const std::string& text)
{
    writeFileAtomically(path, std::as_bytes(std::span<const char>(text.data(), text.size())));
}

std::optional<std::string> readText(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return std::nullopt;
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad())
        return std::nullopt;
    return text;
}

/// Removes a file or link; true when it is gone afterwards.
bool removeEntry(const std::string& path, std::ostream& err)
{
    std::error_code error;
    fs::remove(path, error);
    if (error) {
        err << "stowmere-cli: cannot remove " << path << ": " << error.message() << '\n';
        return false;
    }
    return true;
}

/// A set number as typed: decimal digits only, within the column's range.
std::optional<std::int32_t> numberOf(const std::string& text)
{
    if (text.empty() || text.size() > 10 ||
        !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return std::nullopt;
    const long long value = std::stoll(text);
    if (value > INT32_MAX)
        return std::nullopt;
    return static_cast<std::int32_t>(value);
}

std::string absoluteFolder(const std::string& folder)
{
    return paths::withoutTrailingSeparator(CliApplication::fullPath(folder));
}

std::string listLine(const ScheduledBackup& backup, bool enabled)
{
    return std::to_string(backup.setNumber) + '\t' + backup.description + "\tdaily " + backup.time.text() +
           '\t' + (backup.incremental ? "incremental" : "full") + '\t' +
           (enabled ? "enabled" : "not enabled") + '\t' + backup.dataFolder;
}

} // namespace

ScheduleCommand::ScheduleCommand(std::ostream& out, std::ostream& err, std::string unitFolder)
    : m_out(out), m_err(err), m_unitFolder(std::move(unitFolder))
{
}

std::string ScheduleCommand::defaultUnitFolder()
{
    return paths::join(locations::configFolder(), "systemd/user");
}

std::string ScheduleCommand::unitPath(std::int32_t setNumber, const char* suffix) const
{
    return paths::join(m_unitFolder, ScheduledBackup::unitName(setNumber) + suffix);
}

std::string ScheduleCommand::wantsLink(std::int32_t setNumber) const
{
    return paths::join(m_unitFolder,
                       "timers.target.wants/" + ScheduledBackup::unitName(setNumber) + ".timer");
}

std::optional<ScheduledBackup> ScheduleCommand::scheduleOf(std::int32_t setNumber) const
{
    const std::optional<std::string> text = readText(unitPath(setNumber, ".timer"));
    if (!text)
        return std::nullopt;
    std::optional<ScheduledBackup> backup = ScheduledBackup::fromTimerText(*text);
    // A hand-made unit that happens to have our name is not ours to list or remove.
    if (!backup || backup->setNumber != setNumber)
        return std::nullopt;
    return backup;
}

std::vector<ScheduledBackup> ScheduleCommand::schedules() const
{
    std::vector<ScheduledBackup> result;
    std::error_code error;
    for (fs::directory_iterator it(m_unitFolder, error), end; !error && it != end; it.increment(error)) {
        const std::string name = it->path().filename().string();
        if (!name.starts_with(kUnitPrefix) || !name.ends_with(kTimerSuffix))
            continue;
        const std::string digits =
            name.substr(kUnitPrefix.size(), name.size() - kUnitPrefix.size() - kTimerSuffix.size());
        if (const std::optional<std::int32_t> number = numberOf(digits))
            if (std::optional<ScheduledBackup> backup = scheduleOf(*number))
                result.push_back(std::move(*backup));
    }
    std::sort(result.begin(), result.end(),
              [](const ScheduledBackup& a, const ScheduledBackup& b) { return a.setNumber < b.setNumber; });
    return result;
}

bool ScheduleCommand::isEnabled(std::int32_t setNumber) const
{
    std::error_code error;
    return fs::is_symlink(fs::symlink_status(wantsLink(setNumber), error));
}

ExitCode ScheduleCommand::run(const CommandLine& line, const std::string& dataFolder)
{
    if (line.command == Command::Unschedule)
        return unschedule(line, dataFolder);
    if (line.arguments.empty())
        return list();
    return schedule(line, dataFolder);
}

ExitCode ScheduleCommand::list()
{
    for (const ScheduledBackup& backup : schedules())
        m_out << listLine(backup, isEnabled(backup.setNumber)) << '\n';
    return ExitCode::Success;
}

ExitCode ScheduleCommand::schedule(const CommandLine& line, const std::string& dataFolder)
{
    const std::vector<BackupSetEntry> sets = readSets(dataFolder);
    const SetResolver resolver(sets);
    const std::size_t index = resolver.resolve(line.arguments[0]);
    const BackupSetEntry& set = sets[index];
    if (!set.number)
        throw RuleRefusal("Backup set \"" + set.description + "\" has no number and cannot be scheduled.");
    // The timer names the set by its number, which must then find this set and no other.
    try {
        if (resolver.resolve(std::to_string(*set.number)) != index)
            throw SetNotFound("");
    } catch (const SetNotFound&) {
        throw RuleRefusal("Backup set number " + std::to_string(*set.number) +
                          " is also the description of another set, so a scheduled run could not tell "
                          "them apart. Rename that set first.");
    }

    ScheduledBackup backup;
    backup.setNumber = *set.number;
    backup.description = set.description;
    backup.time = *line.dailyTime;
    backup.incremental = line.incremental;
    backup.dataFolder = absoluteFolder(dataFolder);
    backup.executable = locations::executablePath();

    if (const std::optional<ScheduledBackup> existing = scheduleOf(backup.setNumber);
        existing && existing->dataFolder != backup.dataFolder)
        throw RuleRefusal(backup.unitName() + " already backs up set " + std::to_string(backup.setNumber) +
                          " of the data folder " + existing->dataFolder +
                          ". Remove that schedule first: stowmere-cli unschedule " +
                          std::to_string(backup.setNumber) + " --data '" + existing->dataFolder + "'");

    const std::string service = backup.serviceText();
    const std::string timer = backup.timerText();
    const std::string cron = backup.crontabLine();
    locations::ensureFolder(m_unitFolder);
    // The service first: a timer must never point at a missing service.
    writeText(unitPath(backup.setNumber, ".service"), service);
    writeText(unitPath(backup.setNumber, ".timer"), timer);

    const std::string timerUnit = backup.unitName() + ".timer";
    const SystemdUser::Outcome reload = SystemdUser::run({"daemon-reload"});
    if (!reload.succeeded) {
        m_out << listLine(backup, isEnabled(backup.setNumber)) << '\n';
        m_err << "stowmere-cli: no systemd user manager answered (" << reload.message << ").\n"
              << "The units are written to " << m_unitFolder
              << ". Where a user manager runs, enable the timer with\n"
              << "  systemctl --user daemon-reload\n"
              << "  systemctl --user enable --now " << timerUnit << "\n"
              << "or run the backup from cron instead: add this line with 'crontab -e'\n"
              << "  " << cron << '\n';
        return ExitCode::Success;
    }
    // restart, not start: a timer that was already running picks up a changed time.
    for (const std::vector<std::string>& step :
         {std::vector<std::string>{"enable", timerUnit}, std::vector<std::string>{"restart", timerUnit}}) {
        const SystemdUser::Outcome outcome = SystemdUser::run(step);
        if (!outcome.succeeded) {
            m_err << "stowmere-cli: systemctl --user " << step[0] << ' ' << timerUnit
                  << " failed: " << outcome.message << "\nThe units are written to " << m_unitFolder << ".\n";
            return ExitCode::NotStarted;
        }
    }
    m_out << listLine(backup, isEnabled(backup.setNumber)) << '\n';
    return ExitCode::Success;
}

ExitCode ScheduleCommand::unschedule(const CommandLine& line, const std::string& dataFolder)
{
    const std::string& word = line.arguments[0];
    const std::string folder = absoluteFolder(dataFolder);
    std::optional<std::int32_t> number;
    std::string name = "\"" + word + "\"";
    try {
        const std::vector<BackupSetEntry> sets = readSets(dataFolder);
        const BackupSetEntry& set = sets[SetResolver(sets).resolve(word)];
        number = set.number;
        name = "\"" + set.description + "\"";
    } catch (const SetNotFound&) {
        // A set deleted by the window keeps its timer; its number still removes it.
        number = numberOf(word);
        const std::optional<ScheduledBackup> orphan = number ? scheduleOf(*number) : std::nullopt;
        if (!orphan || orphan->dataFolder != folder)
            throw;
        name = std::to_string(*number);
    }
    const std::optional<ScheduledBackup> backup = number ? scheduleOf(*number) : std::nullopt;
    if (!backup) {
        m_err << "Backup set " << name << " has no schedule.\n";
        return ExitCode::ItemsNotFound;
    }
    if (backup->dataFolder != folder)
        throw RuleRefusal(backup->unitName() + " backs up set " + std::to_string(*number) +
                          " of the data folder " + backup->dataFolder + ", not of " + folder +
                          ". Name that folder with --data.");
    return remove(*backup) ? ExitCode::Success : ExitCode::NotStarted;
}

void ScheduleCommand::setDeleted(std::int32_t setNumber, const std::string& dataFolder)
{
    const std::optional<ScheduledBackup> backup = scheduleOf(setNumber);
    if (!backup || backup->dataFolder != absoluteFolder(dataFolder))
        return;
    if (remove(*backup))
        m_err << "stowmere-cli: removed the schedule of the deleted set (" << backup->unitName()
              << ".timer)\n";
    else
        m_err << "stowmere-cli: warning: the set is deleted but its schedule " << backup->unitName()
              << " could not be removed\n";
}

bool ScheduleCommand::remove(const ScheduledBackup& backup)
{
    const std::string timerUnit = backup.unitName() + ".timer";
    const SystemdUser::Outcome disable = SystemdUser::run({"disable", "--now", timerUnit});
    bool removed = true;
    // Without a user manager the enable link (made by hand as the schedule command advised)
    // is removed here, as systemctl disable would.
    if (!disable.succeeded && isEnabled(backup.setNumber))
        removed = removeEntry(wantsLink(backup.setNumber), m_err);
    removed = removeEntry(unitPath(backup.setNumber, ".timer"), m_err) && removed;
    removed = removeEntry(unitPath(backup.setNumber, ".service"), m_err) && removed;
    if (disable.succeeded) {
        SystemdUser::run({"daemon-reload"});
    } else {
        m_err << "stowmere-cli: no systemd user manager answered (" << disable.message
              << "); the unit files of " << backup.unitName()
              << " are removed. If you added its line to your crontab, remove it with "
              << "'crontab -e'.\n";
    }
    return removed;
}

} // namespace stowmere::cli
