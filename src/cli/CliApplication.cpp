// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/CliApplication.h"

#include "backup/BackupEngine.h"
#include "backup/BackupStartCheck.h"
#include "cli/BackupExitCode.h"
#include "cli/CliBackupObserver.h"
#include "cli/DataFiles.h"
#include "cli/HelpText.h"
#include "cli/InterruptGuard.h"
#include "cli/ProgressPrinter.h"
#include "cli/ScheduleCommand.h"
#include "cli/SetResolver.h"
#include "cli/TableDump.h"
#include "platform/FileQueries.h"
#include "platform/Locations.h"
#include "platform/Paths.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace stowmere::cli {
namespace {

std::size_t resolveSet(DataFiles& data, const std::string& set)
{
    return SetResolver(data.sets()).resolve(set);
}

/// Whether a PATH argument names a stored path, literally or as a full path.
bool namesPath(const std::string& stored, const std::string& given)
{
    return stored == given || stored == CliApplication::fullPath(given);
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
    if (line.help || line.command == Command::Help) {
        m_out << helpText(line.command == Command::Help ? line.helpTopic : line.command);
        return ExitCode::Success;
    }
    try {
        return dispatch(line);
    } catch (const RuleRefusal& refusal) {
        // The window's own message, as its information box shows it.
        m_err << refusal.what() << '\n';
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
        throw DataFileError("Data folder " + *line.dataFolder + " does not exist.");
    return *line.dataFolder;
}

ExitCode CliApplication::dispatch(const CommandLine& line)
{
    if (line.command == Command::Dump)
        return dump(line);
    if (line.command == Command::Schedule || line.command == Command::Unschedule)
        return ScheduleCommand(m_out, m_err).run(line, dataFolder(line));
    DataFiles data(dataFolder(line));
    switch (line.command) {
    case Command::List: return list(data);
    case Command::Paths: return paths(data, line);
    case Command::NewSet: return newSet(data, line);
    case Command::AddPaths: return addPaths(data, line);
    case Command::RemovePaths: return removePaths(data, line);
    case Command::DeleteSet: return deleteSet(data, line);
    case Command::Backup: return backup(data, line);
    case Command::Dump:
    case Command::Schedule:
    case Command::Unschedule:
    case Command::Help:
    case Command::None: break;
    }
    return ExitCode::NotStarted;
}

ExitCode CliApplication::list(DataFiles& data)
{
    for (const BackupSetEntry& entry : data.sets())
        m_out << SetResolver::line(entry) << '\n';
    return ExitCode::Success;
}

ExitCode CliApplication::paths(DataFiles& data, const CommandLine& line)
{
    const std::size_t set = resolveSet(data, line.arguments[0]);
    for (const std::string& path : data.paths(set))
        m_out << path << '\n';
    return ExitCode::Success;
}

ExitCode CliApplication::newSet(DataFiles& data, const CommandLine& line)
{
    const std::string& description = line.arguments[0];
    const std::string& destination = line.arguments[1];
    const std::int32_t number = data.addSet(description, destination);
    data.save();
    m_out << SetResolver::line({number, description, destination}) << '\n';
    if (!destination.empty() && destination.front() != paths::kSeparator)
        m_err << "stowmere-cli: note: Backup To Folder \"" << destination
              << "\" is not a full path; a backup finds it from the folder it is started in.\n";
    return ExitCode::Success;
}

ExitCode CliApplication::addPaths(DataFiles& data, const CommandLine& line)
{
    const std::size_t set = resolveSet(data, line.arguments[0]);
    std::vector<std::string> toAdd;
    for (auto it = std::next(line.arguments.begin()); it != line.arguments.end(); ++it) {
        const std::string full = fullPath(*it);
        // The window's dialogs only offer files and folders that exist; a typing mistake
        // here would otherwise sit in the set until a backup reports it missing.
        const files::EntryKind kind = files::kindOf(full);
        if (kind != files::EntryKind::File && kind != files::EntryKind::Folder)
            throw RuleRefusal("No such file or folder: " + full + " (nothing was added)");
        toAdd.push_back(full);
    }
    for (const std::string& path : toAdd)
        data.addPath(set, path);
    data.save();
    return ExitCode::Success;
}

ExitCode CliApplication::removePaths(DataFiles& data, const CommandLine& line)
{
    const std::size_t set = resolveSet(data, line.arguments[0]);
    bool missing = false;
    std::size_t removed = 0;
    for (auto it = std::next(line.arguments.begin()); it != line.arguments.end(); ++it) {
        std::size_t count = data.removePath(set, *it);
        if (count == 0 && fullPath(*it) != *it)
            count = data.removePath(set, fullPath(*it));
        if (count == 0) {
            // The window's message for a path it cannot find, with the path, since
            // several may be named at once; the others are still removed, as there.
            m_err << "Could not find Path in dataset: " << *it << '\n';
            missing = true;
        }
        removed += count;
    }
    if (removed > 0)
        data.save();
    return missing ? ExitCode::ItemsNotFound : ExitCode::Success;
}

ExitCode CliApplication::deleteSet(DataFiles& data, const CommandLine& line)
{
    const std::size_t set = resolveSet(data, line.arguments[0]);
    const std::optional<std::int32_t> number = data.sets()[set].number;
    data.deleteSet(set);
    data.save();
    if (number)
        ScheduleCommand(m_out, m_err).setDeleted(*number, data.folder());
    return ExitCode::Success;
}

ExitCode CliApplication::backup(DataFiles& data, const CommandLine& line)
{
    const std::size_t set = resolveSet(data, line.arguments[0]);
    const std::string destination = data.sets()[set].destination;
    const std::vector<std::string> items = data.paths(set);

    std::vector<bool> checked(items.size(), !line.only);
    for (const std::string& wanted : line.onlyPaths) {
        bool found = false;
        for (std::size_t i = 0; i < items.size(); ++i) {
            if (namesPath(items[i], wanted)) {
                checked[i] = true;
                found = true;
            }
        }
        if (!found)
            throw RuleRefusal("Not a file or folder of backup set \"" + data.sets()[set].description +
                              "\": " + wanted);
    }
    const std::size_t checkedCount = static_cast<std::size_t>(std::count(checked.begin(), checked.end(), true));
    const backup::BackupStartCheck start =
        backup::CheckBackupStart(destination, items.size(), checkedCount, items.empty());
    if (!start.start) {
        if (!start.information.empty())
            throw RuleRefusal(start.information);
        return ExitCode::NotStarted;
    }

    ProgressPrinter printer(m_err, ProgressPrinter::modeForStandardError(line.quiet),
                            ProgressPrinter::terminalWidth());
    CliBackupObserver observer(items, checked, printer);
    backup::BackupSettings settings;
    settings.destination = destination;
    settings.incremental = line.incremental;
    // The pause lets a window's user see the full bar; a terminal has nothing to show.
    settings.finalPause = std::chrono::milliseconds(0);

    std::atomic<bool> cancelFlag{false};
    InterruptGuard guard(cancelFlag, !line.quiet);
    printer.start(checkedCount);
    const backup::BackupResult result = backup::RunBackup(settings, items, observer, cancelFlag);
    const int signal = guard.receivedSignal();
    printer.finish(backupOutcomeText(result, signal));
    return backupExitCode(result, signal);
}

ExitCode CliApplication::dump(const CommandLine& line)
{
    const std::string& file = line.arguments[0];
    switch (files::kindOf(file)) {
    case files::EntryKind::File: break;
    case files::EntryKind::Missing: throw DataFileError("cannot read " + file + ": no such file");
    case files::EntryKind::Folder: throw DataFileError("cannot read " + file + ": it is a folder");
    case files::EntryKind::Other: throw DataFileError("cannot read " + file + ": not a regular file");
    }
    std::ifstream in(file, std::ios::binary);
    if (!in)
        throw DataFileError("cannot read " + file + ": " + std::strerror(errno));
    const std::vector<char> raw((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad())
        throw DataFileError("cannot read " + file + ": " + std::strerror(errno));
    const std::span<const std::byte> bytes(reinterpret_cast<const std::byte*>(raw.data()), raw.size());
    const TableDump::Outcome outcome = TableDump::dump(bytes, m_out);
    if (outcome.resultCode != 0) {
        char code[8];
        std::snprintf(code, sizeof code, "0x%04X", outcome.resultCode);
        m_err << "stowmere-cli: " << file << " is damaged: reading stopped with result code " << code
              << " at byte offset " << outcome.offset << '\n';
        return ExitCode::NotStarted;
    }
    return ExitCode::Success;
}

} // namespace stowmere::cli
