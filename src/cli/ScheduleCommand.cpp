// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/ScheduleCommand.h"

#include "catalog/Catalog.h"
#include "catalog/Errors.h"
#include "catalog/SystemdUser.h"
#include "cli/CliApplication.h"
#include "cli/SetResolver.h"
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
using catalog::DailyTime;
using catalog::RuleRefusal;
using catalog::ScheduledBackup;
using catalog::SetSchedules;
using catalog::SystemdUser;

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

void writeText(const std::string& path, const std::string& text)
{
    writeFileAtomically(path, std::as_bytes(std::span<const char>(text.data(), text.size())));
}

std::string listLine(const ScheduledBackup& backup, bool enabled)
{
    return std::to_string(backup.setNumber) + '\t' + backup.description + "\tdaily " + backup.time.text() +
           '\t' + (backup.incremental ? "incremental" : "full") + '\t' +
           (enabled ? "enabled" : "not enabled") + '\t' + backup.dataFolder;
}

} // namespace

ScheduleCommand::ScheduleCommand(std::ostream& out, std::ostream& err, std::string unitFolder)
    : m_out(out), m_err(err), m_schedules(std::move(unitFolder))
{
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
    for (const ScheduledBackup& backup : m_schedules.schedules())
        m_out << listLine(backup, m_schedules.isEnabled(backup.setNumber)) << '\n';
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
    backup.dataFolder = SetSchedules::absoluteFolder(dataFolder);
    backup.executable = locations::executablePath();

    if (const std::optional<ScheduledBackup> existing = m_schedules.scheduleOf(backup.setNumber);
        existing && !SetSchedules::belongsTo(*existing, backup.dataFolder))
        throw RuleRefusal(backup.unitName() + " already backs up set " + std::to_string(backup.setNumber) +
                          " of the data folder " + existing->dataFolder +
                          ". Remove that schedule first: stowmere-cli unschedule " +
                          std::to_string(backup.setNumber) + " --data '" + existing->dataFolder + "'");

    const std::string service = backup.serviceText();
    const std::string timer = backup.timerText();
    const std::string cron = backup.crontabLine();
    locations::ensureFolder(m_schedules.unitFolder());
    // The service first: a timer must never point at a missing service.
    writeText(m_schedules.unitPath(backup.setNumber, ".service"), service);
    writeText(m_schedules.unitPath(backup.setNumber, ".timer"), timer);

    const std::string timerUnit = backup.unitName() + ".timer";
    const SystemdUser::Outcome reload = SystemdUser::run({"daemon-reload"});
    if (!reload.succeeded) {
        m_out << listLine(backup, m_schedules.isEnabled(backup.setNumber)) << '\n';
        m_err << "stowmere-cli: no systemd user manager answered (" << reload.message << ").\n"
              << "The units are written to " << m_schedules.unitFolder()
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
                  << " failed: " << outcome.message << "\nThe units are written to "
                  << m_schedules.unitFolder() << ".\n";
            return ExitCode::NotStarted;
        }
    }
    m_out << listLine(backup, m_schedules.isEnabled(backup.setNumber)) << '\n';
    return ExitCode::Success;
}

ExitCode ScheduleCommand::unschedule(const CommandLine& line, const std::string& dataFolder)
{
    const std::string& word = line.arguments[0];
    const std::string folder = SetSchedules::absoluteFolder(dataFolder);
    std::optional<std::int32_t> number;
    std::string name = "\"" + word + "\"";
    try {
        const std::vector<BackupSetEntry> sets = readSets(dataFolder);
        const BackupSetEntry& set = sets[SetResolver(sets).resolve(word)];
        number = set.number;
        name = "\"" + set.description + "\"";
    } catch (const SetNotFound&) {
        // A deleted set whose timer stayed behind (its removal failed) is named by its number.
        number = catalog::setNumberFromText(word);
        const std::optional<ScheduledBackup> orphan = number ? m_schedules.scheduleOf(*number) : std::nullopt;
        if (!orphan || !SetSchedules::belongsTo(*orphan, folder))
            throw;
        name = std::to_string(*number);
    }
    const std::optional<ScheduledBackup> backup = number ? m_schedules.scheduleOf(*number) : std::nullopt;
    if (!backup) {
        m_err << "Backup set " << name << " has no schedule.\n";
        return ExitCode::ItemsNotFound;
    }
    if (!SetSchedules::belongsTo(*backup, folder))
        throw RuleRefusal(backup->unitName() + " backs up set " + std::to_string(*number) +
                          " of the data folder " + backup->dataFolder + ", not of " + folder +
                          ". Name that folder with --data.");
    const SetSchedules::Removal removal = m_schedules.remove(*backup);
    for (const std::string& note : removal.notes)
        m_err << "stowmere-cli: " << note << '\n';
    return removal.complete ? ExitCode::Success : ExitCode::NotStarted;
}

} // namespace stowmere::cli
