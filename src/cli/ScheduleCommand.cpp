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
    const char* kind = backup.verify ? "verify" : backup.incremental ? "incremental" : "full";
    return std::to_string(backup.setNumber) + '\t' + backup.description + '\t' + backup.whenText() + '\t' +
           kind + '\t' + (enabled ? "enabled" : "not enabled") + '\t' + backup.dataFolder;
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
        m_out << listLine(backup, m_schedules.isEnabled(backup)) << '\n';
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
    backup.dataFolder = SetSchedules::absoluteFolder(dataFolder);
    backup.executable = locations::executablePath();
    std::vector<ScheduledBackup> wanted;
    if (line.dailyTime) {
        ScheduledBackup daily = backup;
        daily.time = *line.dailyTime;
        daily.incremental = line.incremental;
        wanted.push_back(std::move(daily));
    }
    if (line.verifyPeriod) {
        ScheduledBackup verification = backup;
        verification.verify = line.verifyPeriod;
        wanted.push_back(std::move(verification));
    }
    for (const ScheduledBackup& schedule : wanted) {
        const ExitCode code = install(schedule);
        if (code != ExitCode::Success)
            return code;
    }
    return ExitCode::Success;
}

ExitCode ScheduleCommand::install(const ScheduledBackup& backup)
{
    const std::string service = backup.serviceText();
    const std::string timer = backup.timerText();
    const std::string cron = backup.crontabLine();
    // The same schedule of the set written by an earlier version, under its old name, or
    // through another name of the data folder: replaced, so that it never runs twice.
    for (const ScheduledBackup& earlier : m_schedules.schedules()) {
        if (earlier.setNumber == backup.setNumber &&
            earlier.verify.has_value() == backup.verify.has_value() &&
            earlier.unitName() != backup.unitName() && SetSchedules::belongsTo(earlier, backup.dataFolder)) {
            for (const std::string& note : m_schedules.remove(earlier).notes)
                m_err << "stowmere-cli: " << note << '\n';
        }
    }
    locations::ensureFolder(m_schedules.unitFolder());
    // The service first: a timer must never point at a missing service.
    writeText(m_schedules.unitPath(backup.unitName(), ".service"), service);
    writeText(m_schedules.unitPath(backup.unitName(), ".timer"), timer);

    const std::string timerUnit = backup.unitName() + ".timer";
    const SystemdUser::Outcome reload = SystemdUser::run({"daemon-reload"});
    if (!reload.succeeded) {
        m_out << listLine(backup, m_schedules.isEnabled(backup)) << '\n';
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
    m_out << listLine(backup, m_schedules.isEnabled(backup)) << '\n';
    return ExitCode::Success;
}

ExitCode ScheduleCommand::unschedule(const CommandLine& line, const std::string& dataFolder)
{
    if (line.all)
        return unscheduleAll();
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
        if (!number || !m_schedules.scheduleOf(*number, folder))
            throw;
        name = std::to_string(*number);
    }
    // Every unit of the set: one of an earlier version's name may still sit beside it.
    std::vector<ScheduledBackup> found;
    for (ScheduledBackup& backup : m_schedules.schedules())
        if (number && backup.setNumber == *number && SetSchedules::belongsTo(backup, folder))
            found.push_back(std::move(backup));
    if (found.empty()) {
        m_err << "Backup set " << name << " has no schedule.\n";
        return ExitCode::ItemsNotFound;
    }
    bool complete = true;
    for (const ScheduledBackup& backup : found) {
        const SetSchedules::Removal removal = m_schedules.remove(backup);
        for (const std::string& note : removal.notes)
            m_err << "stowmere-cli: " << note << '\n';
        complete = complete && removal.complete;
    }
    return complete ? ExitCode::Success : ExitCode::NotStarted;
}

ExitCode ScheduleCommand::unscheduleAll()
{
    bool complete = true;
    for (const ScheduledBackup& backup : m_schedules.schedules()) {
        const SetSchedules::Removal removal = m_schedules.remove(backup);
        for (const std::string& note : removal.notes)
            m_err << "stowmere-cli: " << note << '\n';
        if (removal.complete)
            m_out << "removed " << backup.unitName() << ".timer (set " << backup.setNumber << " of "
                  << backup.dataFolder << ")\n";
        complete = complete && removal.complete;
    }
    return complete ? ExitCode::Success : ExitCode::NotStarted;
}

} // namespace stowmere::cli
