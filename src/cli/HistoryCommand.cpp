// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/HistoryCommand.h"

#include "backup/FailureReport.h"
#include "catalog/Catalog.h"
#include "cli/PreviewPrinter.h"
#include "cli/ProgressPrinter.h"
#include "cli/SetResolver.h"

#include <nlohmann/json.hpp>

#include <charconv>
#include <variant>

namespace stowmere::cli {
namespace {

using catalog::RunRecord;

/// The set a SET argument names: a set of the catalog, else a plain number, so that the
/// history of a deleted set can still be shown.
std::variant<catalog::BackupSet, std::int32_t> setOf(const catalog::Catalog& data, const std::string& set)
{
    std::vector<BackupSetEntry> entries;
    const std::vector<catalog::BackupSet> sets = data.sets();
    entries.reserve(sets.size());
    for (const catalog::BackupSet& entry : sets)
        entries.push_back({entry.number, entry.description, entry.destination});
    try {
        return sets[SetResolver(entries).resolve(set)];
    } catch (const SetNotFound&) {
        std::int32_t number = 0;
        const auto [end, error] = std::from_chars(set.data(), set.data() + set.size(), number);
        if (error == std::errc() && end == set.data() + set.size() && number > 0)
            return number;
        throw;
    }
}

} // namespace

HistoryCommand::HistoryCommand(std::ostream& out, std::ostream& err, std::string historyFile)
    : m_out(out), m_err(err), m_history(std::move(historyFile))
{
}

void HistoryCommand::warn(const std::vector<std::string>& warnings)
{
    for (const std::string& warning : warnings)
        m_err << "stowmere-cli: warning: " << ProgressPrinter::escapeControl(warning) << '\n';
}

ExitCode HistoryCommand::run(const catalog::Catalog& data, const CommandLine& line)
{
    std::vector<std::string> warnings;
    std::vector<RunRecord> runs;
    if (line.arguments.empty())
        runs = m_history.runsOf(data.dataFolder(), warnings);
    else
        runs = std::visit([&](const auto& set) { return m_history.runsOf(data.dataFolder(), set, warnings); },
                          setOf(data, line.arguments[0]));
    warn(warnings);
    for (const RunRecord& run : runs) {
        if (line.json)
            m_out << run.toJsonLine() << '\n';
        else
            m_out << describe(run);
    }
    return ExitCode::Success;
}

std::map<std::int32_t, RunRecord> HistoryCommand::lastRuns(const std::string& dataFolder,
                                                           const std::vector<catalog::BackupSet>& sets)
{
    std::vector<std::string> warnings;
    auto last = m_history.lastRuns(dataFolder, sets, warnings);
    warn(warnings);
    return last;
}

std::string HistoryCommand::lastRunColumns(const RunRecord* last)
{
    if (!last)
        return "never\t-";
    return catalog::isoTime(last->start) + '\t' + catalog::outcomeName(last->outcome);
}

std::string HistoryCommand::setJsonLine(const catalog::BackupSet& set, const RunRecord* last)
{
    nlohmann::ordered_json line;
    line["set"] = set.number;
    line["description"] = PreviewPrinter::jsonName(set.description);
    line["destination"] = PreviewPrinter::jsonName(set.destination);
    if (last)
        line["last_run"] = {{"start", catalog::isoTime(last->start)},
                            {"outcome", catalog::outcomeName(last->outcome)}};
    else
        line["last_run"] = nullptr;
    return line.dump();
}

void HistoryCommand::record(const RunRecord& record)
{
    if (const std::string error = m_history.append(record); !error.empty())
        m_err << "stowmere-cli: warning: " << ProgressPrinter::escapeControl(error) << '\n';
}

std::string HistoryCommand::describe(const RunRecord& record)
{
    const auto escapeControl = [](const std::string& value) { return ProgressPrinter::escapeControl(value); };
    std::string text = catalog::isoTime(record.start) + '\t' + std::to_string(record.setNumber) + '\t' +
                       escapeControl(record.description) + '\t' + catalog::modeName(record.mode) + '\t' +
                       catalog::outcomeName(record.outcome) + '\t' + std::to_string(record.files) +
                       (record.files == 1 ? " file" : " files") + '\t' + backup::formatByteSize(record.bytes);
    if (!record.reason.empty())
        text += '\t' + escapeControl(record.reason);
    text += '\n';
    if (record.healed > 0)
        text += "  copied again: " + std::to_string(record.healed) +
                (record.healed == 1 ? " copy" : " copies") + " verification had found damaged or missing\n";
    if (record.removed > 0)
        text += "  moved into versions: " + std::to_string(record.removed) +
                (record.removed == 1 ? " copy whose source was" : " copies whose sources were") + " gone\n";
    for (const std::string& note : record.notes)
        text += "  note: " + escapeControl(note) + '\n';
    for (const std::string& item : record.missingItems)
        text += "  not found: " + escapeControl(item) + '\n';
    for (const backup::NotBackedUp& failure : record.failures)
        text += "  failed: " + escapeControl(failure.path) + ": " + escapeControl(failure.reason) + '\n';
    if (record.failureCount > record.failures.size())
        text += "  ... and " + std::to_string(record.failureCount - record.failures.size()) + " more\n";
    return text;
}

} // namespace stowmere::cli
