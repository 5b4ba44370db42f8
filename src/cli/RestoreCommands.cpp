// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/RestoreCommands.h"

#include "backup/FailureReport.h"
#include "backup/MomentBrowser.h"
#include "backup/Restore.h"
#include "backup/VersionStore.h"
#include "catalog/Errors.h"
#include "cli/CliApplication.h"
#include "cli/InterruptGuard.h"
#include "cli/ProgressPrinter.h"
#include "platform/Translation.h"

#include <algorithm>
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
    // An ISO 8601 zone after a time: "Z", or an offset +HH, +HHMM, +HH:MM (or -).
    std::string rest = text;
    std::optional<long> offset;
    if (rest.size() > 10 && rest.back() == 'Z') {
        rest.pop_back();
        offset = 0;
    } else if (const std::size_t sign = rest.find_last_of("+-"); sign != std::string::npos && sign > 10) {
        std::string zone = rest.substr(sign + 1);
        zone.erase(std::remove(zone.begin(), zone.end(), ':'), zone.end());
        if ((zone.size() != 2 && zone.size() != 4) ||
            !std::all_of(zone.begin(), zone.end(), [](char c) { return c >= '0' && c <= '9'; }))
            return std::nullopt;
        const long hours = std::stol(zone.substr(0, 2));
        const long minutes = zone.size() == 4 ? std::stol(zone.substr(2)) : 0;
        if (hours > 23 || minutes > 59)
            return std::nullopt;
        offset = (rest[sign] == '-' ? -1 : 1) * (hours * 3600 + minutes * 60);
        rest.erase(sign);
    }
    // A fraction of a second tells nothing at the second runs are stamped with.
    if (const std::size_t fraction = rest.find_first_of(".,", 10); fraction != std::string::npos) {
        if (fraction + 1 == rest.size() ||
            !std::all_of(rest.begin() + static_cast<std::ptrdiff_t>(fraction) + 1, rest.end(),
                         [](char c) { return c >= '0' && c <= '9'; }))
            return std::nullopt;
        rest.erase(fraction);
    }
    for (const char* format :
         {"%Y-%m-%d %H:%M:%S", "%Y-%m-%dT%H:%M:%S", "%Y-%m-%d %H:%M", "%Y-%m-%dT%H:%M", "%Y-%m-%d"}) {
        std::tm parts{};
        const char* end = ::strptime(rest.c_str(), format, &parts);
        if (end == nullptr || *end != '\0')
            continue;
        // A zone belongs to a time of day, never to a date alone.
        if (offset && std::string_view(format) == "%Y-%m-%d")
            return std::nullopt;
        if (offset)
            return ::timegm(&parts) - *offset;
        parts.tm_isdst = -1;
        const std::time_t time = std::mktime(&parts);
        if (time == -1)
            continue;
        return time;
    }
    return std::nullopt;
}

std::time_t RestoreCommands::timeOf(const std::string& text)
{
    const std::optional<std::time_t> time = parseTime(text);
    if (!time)
        throw catalog::RuleRefusal(
            translation::format(_("Not a time: %s (YYYY-MM-DD, YYYY-MM-DD HH:MM[:SS] in local "
                                  "time, ISO 8601 with Z or an offset, or YYYY-MM-DDTHHMMSSZ)"),
                                ProgressPrinter::escapeControl(text)));
    return *time;
}

void RestoreCommands::tellUnrecorded(const std::vector<std::string>& runs)
{
    if (runs.empty())
        return;
    if (runs.size() > 1)
        m_err << translation::format(
            _("The backups of %s to %s kept no record of the files they added: files they "
              "added show as if they had been there\n"),
            ProgressPrinter::escapeControl(runs.front()), ProgressPrinter::escapeControl(runs.back()));
    else
        m_err << translation::format(
            _("The backups of %s kept no record of the files they added: files they added "
              "show as if they had been there\n"),
            ProgressPrinter::escapeControl(runs.front()));
}

ExitCode RestoreCommands::moment(const catalog::BackupSet& set, const std::vector<std::string>& items,
                                 std::time_t at, const std::string& path)
{
    std::vector<std::string> unrecorded;
    try {
        unrecorded =
            backup::listMoment(set.destination, items, at, path, [&](const backup::MomentFile& file) {
                const bool folder = file.entry.kind == backup::DestinationKind::Folder;
                const std::string& shown = file.original.empty() ? file.relative : file.original;
                m_out << (file.run.empty() ? std::string("current") : file.run) << '\t'
                      << localTime(file.entry.modified) << '\t' << (folder ? 0 : file.entry.size) << '\t'
                      << ProgressPrinter::escapeControl(shown) << (folder ? "/" : "") << '\n';
            });
    } catch (const backup::RestoreRefusal& refusal) {
        throw catalog::RuleRefusal(ProgressPrinter::escapeControl(refusal.what()));
    }
    tellUnrecorded(unrecorded);
    return ExitCode::Success;
}

ExitCode RestoreCommands::versions(const catalog::BackupSet& set, const std::vector<std::string>& items,
                                   const CommandLine& line)
{
    const std::string path =
        line.arguments.size() > 1 ? CliApplication::fullPath(line.arguments[1]) : std::string();
    if (line.at)
        return moment(set, items, timeOf(*line.at), path);
    std::vector<backup::KeptVersion> kept;
    try {
        kept = backup::keptVersions(set.destination, items, path);
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
    if (line.at)
        request.at = timeOf(*line.at);
    request.overwrite = line.overwrite;
    std::atomic<bool> cancel{false};
    InterruptGuard guard(cancel, true);
    CountingObserver observer;
    backup::RestoreResult result;
    try {
        result = backup::restore(request, observer, cancel);
    } catch (const backup::RestoreRefusal& refusal) {
        throw catalog::RuleRefusal(ProgressPrinter::escapeControl(refusal.what()));
    }
    tellUnrecorded(result.unrecordedRuns);
    for (const auto& [path, run] : result.fromVersions)
        m_err << translation::format(_("No current copy of %s: restored the newest kept version, from %s\n"),
                                     ProgressPrinter::escapeControl(path),
                                     ProgressPrinter::escapeControl(run));
    for (const std::string& kept : result.kept)
        m_err << translation::format(
            _("Kept %s: it differs from its backup copy (--overwrite replaces it)\n"),
            ProgressPrinter::escapeControl(kept));
    for (const backup::NotBackedUp& unreadable : result.unreadable)
        m_err << translation::format(_("Cannot read %s: %s\n"),
                                     ProgressPrinter::escapeControl(unreadable.path),
                                     ProgressPrinter::escapeControl(unreadable.reason));
    for (const std::string& line : result.notKept)
        m_err << ProgressPrinter::escapeControl(line) << '\n';
    if (result.writeFailed)
        m_err << ProgressPrinter::escapeControl(result.failure) << '\n';
    m_err << translation::format(ngettext("Restored %d file", "Restored %d files", result.restored),
                                 result.restored);
    if (result.same > 0)
        m_err << translation::format(
            ngettext("; %d already as in the backup", "; %d already as in the backup", result.same),
            result.same);
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
