// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "catalog/RunHistory.h"
#include "cli/CommandLine.h"
#include "cli/ExitCode.h"

#include <cstdint>
#include <map>
#include <ostream>
#include <string>
#include <vector>

namespace stowmere::catalog {
class Catalog;
struct BackupSet;
} // namespace stowmere::catalog

namespace stowmere::cli {

/// The run history on the command line: the history command, the last run that 'list'
/// shows beside each set, and the recording of every backup run.
class HistoryCommand {
public:
    HistoryCommand(std::ostream& out, std::ostream& err,
                   std::string historyFile = catalog::RunHistory::defaultFile());

    /// "history [SET] [--json]": the runs of one set, or of every set of the data folder,
    /// oldest first. SET may also be the number of a set deleted since it ran.
    ExitCode run(const catalog::Catalog& data, const CommandLine& line);

    /// The last run (not a dry run) of each of sets of the data folder. Damaged lines are
    /// told on standard error.
    std::map<std::int32_t, catalog::RunRecord> lastRuns(const std::string& dataFolder,
                                                        const std::vector<catalog::BackupSet>& sets);

    /// The two columns 'list' adds for a set: its last run's start (UTC) and outcome, or
    /// "never" and "-".
    static std::string lastRunColumns(const catalog::RunRecord* last);
    /// What 'list --json' shows for a set, as one JSON object on one line: its number,
    /// description and Backup To Folder, and its last run's start and outcome (null when
    /// it never ran).
    static std::string setJsonLine(const catalog::BackupSet& set, const catalog::RunRecord* last);

    /// Appends a run to the history; a failure is one warning on standard error and changes
    /// nothing else: the backup itself is done.
    void record(const catalog::RunRecord& record);

    /// The line the text form shows for a run, with indented lines for what was not found
    /// or failed.
    static std::string describe(const catalog::RunRecord& record);

private:
    void warn(const std::vector<std::string>& warnings);

    std::ostream& m_out;
    std::ostream& m_err;
    catalog::RunHistory m_history;
};

} // namespace stowmere::cli
