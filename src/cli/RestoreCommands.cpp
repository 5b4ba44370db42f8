// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/RestoreCommands.h"

#include "backup/FailureReport.h"
#include "backup/Restore.h"
#include "backup/VersionStore.h"
#include "catalog/Errors.h"
#include "cli/CliApplication.h"
#include "cli/InterruptGuard.h"
#include "cli/ProgressPrinter.h"

#include <csignal>
#include <cstdio>
#include <cstring>

namespace stowmere::cli {
namespace {

std::string localTime(const timespec& time)
{
    std::tm parts{};
    ::localtime_r(&time.tv_sec, &parts);
    char text[64];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &parts);
    return text;
}

/// Counts restored files for the summary; the copies themselves tell nothing on the way.
class CountingObserver : public backup::RestoreObserver {};

} // namespace

std::optional<std::time_t> RestoreCommands::parseTime(const std::string& text)
{
    if (const auto stamp = backup::VersionStore::parseStamp(text); stamp && stamp->second == 1)
        return stamp->first;
    for (const char* format :
         {"%Y-%m-%d %H:%M:%S", "%Y-%m-%dT%H:%M:%S", "%Y-%m-%d %H:%M", "%Y-%m-%dT%H:%M", "%Y-%m-%d"}) {
        std::tm parts{};
        const char* end = ::strptime(text.c_str(), format, &parts);
        if (end == nullptr || *end != '\0')
            continue;
        parts.tm_isdst = -1;
        const std::time_t time = std::mktime(&parts);
        if (time == -1)
            continue;
        return time;
    }
    return std::nullopt;
}

ExitCode RestoreCommands::versions(const catalog::BackupSet& set, const std::vector<std::string>& items,
                                   const CommandLine& line)
{
    const std::string path =
        line.arguments.size() > 1 ? CliApplication::fullPath(line.arguments[1]) : std::string();
    std::vector<backup::KeptVersion> kept;
    try {
        kept = backup::KeptVersions(set.destination, items, path);
    } catch (const backup::RestoreRefusal& refusal) {
        throw catalog::RuleRefusal(ProgressPrinter::escapeControl(refusal.what()));
    }
    for (const backup::KeptVersion& version : kept) {
        const std::string& original = version.original.empty() ? version.path : version.original;
        m_out << version.stamp << '\t' << localTime(version.modified) << '\t' << version.size << '\t'
              << ProgressPrinter::escapeControl(original) << '\n';
    }
    return ExitCode::Success;
}

ExitCode RestoreCommands::restore(const catalog::BackupSet& set, const std::vector<std::string>& items,
                                  const CommandLine& line)
{
    backup::RestoreRequest request;
    request.destination = set.destination;
    request.items = items;
    for (std::size_t i = 1; i < line.arguments.size(); ++i)
        request.paths.push_back(CliApplication::fullPath(line.arguments[i]));
    if (line.restoreTo)
        request.to = CliApplication::fullPath(*line.restoreTo);
    if (line.at) {
        request.at = parseTime(*line.at);
        if (!request.at)
            throw catalog::RuleRefusal("Not a time: " + ProgressPrinter::escapeControl(*line.at) +
                                       " (YYYY-MM-DD, YYYY-MM-DD HH:MM[:SS] or YYYY-MM-DDTHHMMSSZ)");
    }
    request.overwrite = line.overwrite;
    std::atomic<bool> cancel{false};
    InterruptGuard guard(cancel, true);
    CountingObserver observer;
    backup::RestoreResult result;
    try {
        result = backup::Restore(request, observer, cancel);
    } catch (const backup::RestoreRefusal& refusal) {
        throw catalog::RuleRefusal(ProgressPrinter::escapeControl(refusal.what()));
    }
    for (const std::string& kept : result.kept)
        m_err << "Kept " << ProgressPrinter::escapeControl(kept)
              << ": it differs from its backup copy (--overwrite replaces it)\n";
    for (const backup::NotBackedUp& unreadable : result.unreadable)
        m_err << "Cannot read " << ProgressPrinter::escapeControl(unreadable.path) << ": "
              << ProgressPrinter::escapeControl(unreadable.reason) << '\n';
    for (const std::string& line : result.notKept)
        m_err << ProgressPrinter::escapeControl(line) << '\n';
    if (result.writeFailed)
        m_err << ProgressPrinter::escapeControl(result.failure) << '\n';
    m_err << "Restored " << result.restored << (result.restored == 1 ? " file" : " files");
    if (result.same > 0)
        m_err << "; " << result.same << " already as in the backup";
    m_err << '\n';
    if (result.writeFailed)
        return ExitCode::CopyFailed;
    if (result.cancelled)
        return exitCodeForSignal(guard.receivedSignal());
    if (!result.kept.empty() || !result.unreadable.empty())
        return ExitCode::ItemsNotFound;
    return ExitCode::Success;
}

} // namespace stowmere::cli
