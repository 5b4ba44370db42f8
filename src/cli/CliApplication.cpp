// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/CliApplication.h"

#include "backup/BackupEngine.h"
#include "backup/FailureReport.h"
#include "backup/OpenDestination.h"
#include "backup/SftpAccess.h"
#include "backup/SpaceCheck.h"
#include "catalog/Catalog.h"
#include "catalog/Errors.h"
#include "catalog/Messages.h"
#include "catalog/RunHistory.h"
#include "catalog/RunStart.h"
#include "cli/BackupExitCode.h"
#include "cli/CliBackupObserver.h"
#include "cli/DriveGuardStep.h"
#include "cli/HelpText.h"
#include "cli/HistoryCommand.h"
#include "cli/InterruptGuard.h"
#include "cli/OptionsCommand.h"
#include "cli/ProgressPrinter.h"
#include "cli/RestoreCommands.h"
#include "cli/ScheduleCommand.h"
#include "cli/SetResolver.h"
#include "cli/TableDump.h"
#include "cli/TrustHostCommand.h"
#include "cli/VerifyCommand.h"
#include "platform/FileQueries.h"
#include "platform/Locations.h"
#include "platform/Paths.h"
#include "platform/Translation.h"
#include "platform/Version.h"
#include "platform/WholeFile.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>

namespace stowmere::cli {
namespace {

using catalog::BackupSet;
using catalog::Catalog;
using catalog::TableFileError;

BackupSet resolveSet(const Catalog& data, const std::string& set)
{
    std::vector<BackupSetEntry> entries;
    for (const BackupSet& entry : data.sets())
        entries.push_back({entry.number, entry.description, entry.destination});
    const std::size_t index = SetResolver(entries).resolve(set);
    return data.sets()[index];
}

/// Writes what the command changed, or says why not. What else the save did, a line each.
std::vector<std::string> saveChanges(Catalog& data)
{
    Catalog::SaveResult result = data.save();
    switch (result.status) {
    case Catalog::SaveStatus::Saved:
        return std::move(result.notes);
    case Catalog::SaveStatus::Failed:
        throw TableFileError(result.reason);
    }
    return {};
}

/// Commands that change the tables hold their lock from reading to writing.
bool changesTables(Command command)
{
    return command == Command::NewSet || command == Command::AddPaths || command == Command::RemovePaths ||
           command == Command::DeleteSet || command == Command::Options;
}

/// Whether a PATH argument names a stored path, literally or as a full path.
bool namesPath(const std::string& stored, const std::string& given)
{
    return stored == given || stored == CliApplication::fullPath(given);
}

/// Whether the set's last incremental run into the same destination looked at files whose
/// copies the free space there still holds with room to spare. A count before the run
/// would then walk a tree that mostly did not change a second time, only to find the same.
bool lastRunStillFits(const std::string& dataFolder, const catalog::BackupSet& set)
{
    std::vector<std::string> warnings;
    const std::optional<catalog::RunRecord> last =
        catalog::RunHistory(catalog::RunHistory::defaultFile()).lastBackup(dataFolder, set, warnings);
    return last && last->mode == catalog::RunMode::Incremental && last->sourceBytes > 0 &&
           last->destination == set.destination &&
           backup::copiesFitKnownTotal(set.destination, last->sourceBytes);
}

} // namespace

ExitCode CliApplication::run(const std::vector<std::string>& words)
{
    CommandLine line;
    try {
        line = CommandLine::parse(words);
    } catch (const UsageError& error) {
        m_err << "stowmere-cli: " << error.what() << '\n';
        return ExitCode::NotStarted;
    }
    if (line.version && !line.help) {
        m_out << "stowmere-cli " << programVersion() << '\n';
        return ExitCode::Success;
    }
    if (line.help || line.command == Command::Help) {
        m_out << helpText(line.command == Command::Help ? line.helpTopic : line.command);
        return ExitCode::Success;
    }
    try {
        return dispatchNoticed(line);
    } catch (const catalog::RuleRefusal& refusal) {
        // The window's own message, as its information box shows it.
        m_err << refusal.what() << '\n';
    } catch (const catalog::TablesBusy& busy) {
        m_err << busy.what() << '\n';
    } catch (const SetNotFound& error) {
        m_err << error.what() << '\n';
    } catch (const std::exception& error) {
        m_err << "stowmere-cli: " << error.what() << '\n';
    }
    return ExitCode::NotStarted;
}

std::string CliApplication::fullPath(const std::string& path)
{
    std::filesystem::path full(path);
    if (full.is_relative()) {
        std::error_code error;
        const std::filesystem::path current = std::filesystem::current_path(error);
        if (!error)
            full = current / full;
    }
    std::string text = full.lexically_normal().string();
    return paths::withoutTrailingSeparator(text);
}

std::string CliApplication::dataFolder(const CommandLine& line) const
{
    if (!line.dataFolder)
        return locations::dataFolder();
    // A mistyped --data must not quietly start an empty set of tables somewhere else.
    if (!files::isFolder(*line.dataFolder))
        throw TableFileError(translation::format(_("Data folder %s does not exist."), *line.dataFolder));
    return *line.dataFolder;
}

ExitCode CliApplication::dispatchNoticed(const CommandLine& line)
{
    if (line.command != Command::Backup || line.dryRun)
        return dispatch(line);
    m_notice.setName(line.arguments[0]);
    ExitCode code = ExitCode::NotStarted;
    try {
        code = dispatch(line);
    } catch (const std::exception& error) {
        m_notice.setError(error.what());
        m_notice.notify(line, code, m_err);
        throw;
    }
    m_notice.notify(line, code, m_err);
    return code;
}

ExitCode CliApplication::dispatch(const CommandLine& line)
{
    if (line.command == Command::Dump)
        return dump(line);
    if (line.command == Command::Schedule || line.command == Command::Unschedule)
        return ScheduleCommand(m_out, m_err).run(line, dataFolder(line));
    Catalog data(dataFolder(line));
    if (changesTables(line.command))
        data.openForChange();
    else
        data.open();
    // A file that cannot be read stops every command: what it would show or change could
    // be incomplete.
    if (!data.openErrors().empty())
        throw TableFileError(data.openErrors().front());
    for (const std::string& notice : data.notices())
        m_err << translation::format(_("stowmere-cli: note: %s"), notice) << '\n';
    switch (line.command) {
    case Command::List:
        return list(data, line);
    case Command::Paths:
        return paths(data, line);
    case Command::NewSet:
        return newSet(data, line);
    case Command::AddPaths:
        return addPaths(data, line);
    case Command::RemovePaths:
        return removePaths(data, line);
    case Command::DeleteSet:
        return deleteSet(data, line);
    case Command::Backup:
        return backup(data, line);
    case Command::History:
        return HistoryCommand(m_out, m_err).run(data, line);
    case Command::Options:
        return OptionsCommand(m_out).run(data, line, resolveSet(data, line.arguments[0]));
    case Command::TrustHost:
        return TrustHostCommand(std::cin, m_out, m_err).run(resolveSet(data, line.arguments[0]), line);
    case Command::Verify:
        return VerifyCommand(m_out, m_err).run(data, resolveSet(data, line.arguments[0]), line);
    case Command::Versions:
    case Command::Restore: {
        const BackupSet set = resolveSet(data, line.arguments[0]);
        std::vector<std::string> items;
        for (const catalog::PathEntry& path : data.paths(set.number))
            items.push_back(path.item);
        RestoreCommands commands(m_out, m_err);
        return line.command == Command::Versions ? commands.versions(set, items, line)
                                                 : commands.restore(set, items, line);
    }
    case Command::Dump:
    case Command::Schedule:
    case Command::Unschedule:
    case Command::Help:
    case Command::None:
        break;
    }
    return ExitCode::NotStarted;
}

ExitCode CliApplication::list(Catalog& data, const CommandLine& line)
{
    const std::vector<BackupSet> sets = data.sets();
    const auto lastRuns = HistoryCommand(m_out, m_err).lastRuns(data.dataFolder(), sets);
    for (const BackupSet& set : sets) {
        const auto last = lastRuns.find(set.number);
        const catalog::RunRecord* lastRun = last == lastRuns.end() ? nullptr : &last->second;
        if (line.json)
            m_out << HistoryCommand::setJsonLine(set, lastRun) << '\n';
        else
            m_out << SetResolver::line({set.number, set.description, set.destination}) << '\t'
                  << HistoryCommand::lastRunColumns(lastRun) << '\n';
    }
    return ExitCode::Success;
}

ExitCode CliApplication::paths(Catalog& data, const CommandLine& line)
{
    const BackupSet set = resolveSet(data, line.arguments[0]);
    // One path a line: a control character in a name must not split it or move the cursor.
    for (const catalog::PathEntry& path : data.paths(set.number))
        m_out << ProgressPrinter::escapeControl(path.item) << '\n';
    return ExitCode::Success;
}

ExitCode CliApplication::newSet(Catalog& data, const CommandLine& line)
{
    const std::string& description = line.arguments[0];
    const std::string& destination = line.arguments[1];
    const std::int32_t number = data.addSet(description, destination);
    saveChanges(data);
    m_out << SetResolver::line({number, description, destination}) << '\n';
    if (!destination.empty() && destination.front() != paths::kSeparator &&
        !backup::isRemoteLocation(destination))
        m_err << translation::format(
            _("stowmere-cli: note: Backup To Folder \"%s\" is not a full path; a backup "
              "finds it from the folder it is started in.\n"),
            destination);
    return ExitCode::Success;
}

ExitCode CliApplication::addPaths(Catalog& data, const CommandLine& line)
{
    const BackupSet set = resolveSet(data, line.arguments[0]);
    std::vector<std::string> toAdd;
    for (auto it = std::next(line.arguments.begin()); it != line.arguments.end(); ++it) {
        const std::string full = fullPath(*it);
        // The window's dialogs only offer files and folders that exist; a typing mistake
        // here would otherwise sit in the set until a backup reports it missing.
        const files::EntryKind kind = files::kindOf(full);
        if (kind != files::EntryKind::File && kind != files::EntryKind::Folder)
            throw catalog::RuleRefusal(
                translation::format(_("No such file or folder: %s (nothing was added)"), full));
        toAdd.push_back(full);
    }
    for (const std::string& path : toAdd)
        data.addPath(set.number, path);
    saveChanges(data);
    return ExitCode::Success;
}

ExitCode CliApplication::removePaths(Catalog& data, const CommandLine& line)
{
    const BackupSet set = resolveSet(data, line.arguments[0]);
    bool missing = false;
    std::size_t removed = 0;
    for (auto it = std::next(line.arguments.begin()); it != line.arguments.end(); ++it) {
        std::size_t count = data.removePaths(set.number, *it);
        if (count == 0 && fullPath(*it) != *it)
            count = data.removePaths(set.number, fullPath(*it));
        if (count == 0) {
            // The window's message for a path it cannot find, with the path, since
            // several may be named at once; the others are still removed, as there.
            m_err << _(catalog::messages::kPathNotFound.data()) << ": " << *it << '\n';
            missing = true;
        }
        removed += count;
    }
    if (removed > 0)
        saveChanges(data);
    return missing ? ExitCode::ItemsNotFound : ExitCode::Success;
}

ExitCode CliApplication::deleteSet(Catalog& data, const CommandLine& line)
{
    const BackupSet set = resolveSet(data, line.arguments[0]);
    data.deleteSet(set.number);
    for (const std::string& note : saveChanges(data))
        m_err << "stowmere-cli: " << note << '\n';
    return ExitCode::Success;
}

ExitCode CliApplication::backup(Catalog& data, const CommandLine& line)
{
    const BackupSet set = resolveSet(data, line.arguments[0]);
    m_notice.setName(set.description);
    const auto start = catalog::RunRecord::Clock::now();
    HistoryCommand history(m_out, m_err);
    // A real run shows what it does on standard output when asked; a dry run's list has
    // its own printer.
    RunEventPrinter events(m_out, line.json ? RunEventPrinter::Format::Json : RunEventPrinter::Format::Text);
    const bool streaming = !line.dryRun && (line.json || line.verbose);
    m_events = streaming ? &events : nullptr;
    const auto closeEvents = [this, &line, &events](const catalog::RunRecord& record, ExitCode code) {
        m_events = nullptr;
        if (!line.dryRun && line.json)
            events.summary(record, toInt(code));
    };
    catalog::RunRecord recorded;
    try {
        const ExitCode code = backup(
            data, set, line, [&](const backup::BackupSettings& settings, const backup::BackupResult& result) {
                recorded =
                    catalog::makeRunRecord(data.dataFolder(), set, settings, result, start, "stowmere-cli");
                history.record(recorded);
            });
        closeEvents(recorded, code);
        return code;
    } catch (const catalog::RuleRefusal& refusal) {
        // A run refused by the Backup button's checks is a run of the set all the same.
        backup::BackupSettings settings;
        settings.destination = set.destination;
        settings.incremental = line.incremental;
        settings.dryRun = line.dryRun;
        recorded = catalog::makeRefusedRecord(data.dataFolder(), set, settings, refusal.what(), start,
                                              "stowmere-cli");
        history.record(recorded);
        closeEvents(recorded, ExitCode::NotStarted);
        throw;
    } catch (...) {
        m_events = nullptr;
        throw;
    }
}

ExitCode CliApplication::backup(Catalog& data, const BackupSet& set, const CommandLine& line,
                                const RunRecorder& recordRun)
{
    std::vector<bool> checked;
    catalog::RunRequest request = data.runRequest(set.number, line.incremental,
                                                  [&checked](std::size_t index) { return checked[index]; });
    const std::vector<std::string>& items = request.items;

    checked.assign(items.size(), !line.only);
    for (const std::string& wanted : line.onlyPaths) {
        bool found = false;
        for (std::size_t i = 0; i < items.size(); ++i) {
            if (namesPath(items[i], wanted)) {
                checked[i] = true;
                found = true;
            }
        }
        if (!found)
            throw catalog::RuleRefusal(translation::format(_("Not a file or folder of backup set \"%s\": %s"),
                                                           set.description, wanted));
    }
    const std::size_t checkedCount = request.checkedCount();
    const catalog::RunStart start = catalog::startRun(request);
    if (start.verdict == catalog::RunStart::Verdict::Refused) {
        std::string refusal = start.refusal;
        // A server whose key is not known yet: the command line does not ask, it says how.
        if (backup::isRemoteLocation(set.destination) &&
            backup::lastSftpFailure().kind == backup::SftpConnectFailure::Kind::UnknownHost)
            refusal += "\r\n" +
                       translation::format(_("Nothing was written. Check the fingerprint and accept the key "
                                             "with 'stowmere-cli trust-host %d'."),
                                           set.number);
        if (!refusal.empty())
            throw catalog::RuleRefusal(terminalText(refusal));
        backup::BackupResult refused;
        refused.refused = true;
        recordRun(start.settings, refused);
        return ExitCode::NotStarted;
    }
    const catalog::DriveCheck& drive = start.drive;
    const std::string setWord = std::to_string(set.number);
    const std::string& destination = start.settings.destination;
    if (!passDriveGuard(drive, setWord, destination, line.acceptNewDrive, line.dryRun, m_err)) {
        backup::BackupResult refused;
        refused.refused = true;
        refused.refusal = drive.finding + ' ' + driveRemedy(setWord, destination);
        m_notice.setError(drive.finding, driveRemedy(setWord, destination));
        recordRun(start.settings, refused);
        return ExitCode::NotStarted;
    }

    // A dry run's list goes to standard output; a live line beside it would only get in
    // its way, so standard error shows only what the run would report.
    ProgressPrinter printer(m_err, ProgressPrinter::modeForStandardError(line.quiet || line.dryRun),
                            ProgressPrinter::terminalWidth());
    printer.followTerminalWidth();
    std::atomic<bool> cancelFlag{false};
    CliBackupObserver observer(items, checked, printer);
    observer.setCancelFlag(&cancelFlag);
    PreviewPrinter preview(m_out, line.json ? PreviewPrinter::Format::Json : PreviewPrinter::Format::Text,
                           line.verbose);
    if (line.dryRun)
        observer.setPreviewPrinter(&preview);
    observer.setEventPrinter(m_events);
    backup::BackupSettings settings = start.settings;
    settings.dryRun = line.dryRun;
    // What the copies will take is counted before a byte is written, so that a run that
    // cannot fit stops before it starts, and the live line knows the totals. Without a live
    // line, a count that cannot stop the run would only double the time of an incremental
    // run that finds little to do, the case of nearly every scheduled backup; so would one
    // on a backup disk more than half full when the last run's files still fit it.
    settings.countFirst =
        !line.dryRun &&
        (printer.mode() == ProgressPrinter::Mode::Terminal ||
         !(start.copiesSurelyFit() || (!line.only && lastRunStillFits(data.dataFolder(), set))));
    observer.setForce(line.force);
    observer.setAllowMassRemoval(line.allowMassRemoval);
    // The pause lets a window's user see the full bar; a terminal has nothing to show.

    InterruptGuard guard(cancelFlag, !line.quiet);
    printer.start(checkedCount);
    const backup::BackupResult result = backup::runBackup(settings, items, observer, cancelFlag);
    const int signal = guard.receivedSignal();
    recordRun(settings, result);
    m_notice.setResult(result);
    m_notice.setItems(printer.itemsDone(), checkedCount);
    if (m_events)
        m_events->setItems(printer.itemsDone(), checkedCount);
    if (line.dryRun) {
        if (!result.refused || line.json)
            preview.totals(result);
        return backupExitCode(result, signal);
    }
    if (ranThrough(result))
        recordDrive(data.dataFolder(), set.number, drive, m_err);
    // A run that cannot fit has said so in full.
    if (!result.refusedForSpace)
        printer.finish(backupOutcomeText(result, signal));
    return backupExitCode(result, signal);
}

ExitCode CliApplication::dump(const CommandLine& line)
{
    const std::string& file = line.arguments[0];
    switch (files::kindOf(file)) {
    case files::EntryKind::File:
        break;
    case files::EntryKind::Missing:
        throw TableFileError(translation::format(_("cannot read %s: no such file"), file));
    case files::EntryKind::Folder:
        throw TableFileError(translation::format(_("cannot read %s: it is a folder"), file));
    case files::EntryKind::Other:
        throw TableFileError(translation::format(_("cannot read %s: not a regular file"), file));
    }
    std::string raw;
    try {
        raw = files::readWholeFile(file);
    } catch (const files::ReadError& error) {
        throw TableFileError(translation::format(_("cannot read %s: %s"), file, error.reason()));
    }
    const std::span<const std::byte> bytes(reinterpret_cast<const std::byte*>(raw.data()), raw.size());
    const TableDump::Outcome outcome = TableDump::dump(bytes, m_out);
    if (outcome.resultCode != 0) {
        char code[8];
        std::snprintf(code, sizeof code, "0x%04X", outcome.resultCode);
        m_err << translation::format(
            _("stowmere-cli: %s is damaged: reading stopped with result code %s at byte "
              "offset %s\n"),
            file, code, std::to_string(outcome.offset));
        return ExitCode::NotStarted;
    }
    return ExitCode::Success;
}

} // namespace stowmere::cli
