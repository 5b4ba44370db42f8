// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "cli/CommandLine.h"
#include "cli/ExitCode.h"
#include "cli/RunEventPrinter.h"
#include "cli/RunNotice.h"

#include <functional>
#include <ostream>
#include <string>
#include <vector>

namespace stowmere::catalog {
class Catalog;
struct BackupSet;
} // namespace stowmere::catalog

namespace stowmere::backup {
struct BackupSettings;
struct BackupResult;
} // namespace stowmere::backup

namespace stowmere::cli {

/// Runs one stowmere-cli command line: parses it, runs the command, reports on the given
/// streams and returns the exit code. Output meant for scripts goes to out, everything
/// else (progress, failures, usage errors) to err.
class CliApplication {
public:
    CliApplication(std::ostream& out, std::ostream& err) : m_out(out), m_err(err) {}

    ExitCode run(const std::vector<std::string>& words);

    /// A PATH argument as stored: made absolute against the current folder, "." and ".."
    /// steps and doubled separators removed, no trailing separator except for the root.
    static std::string fullPath(const std::string& path);

private:
    /// dispatch(), and for a backup the desktop notification of how it ended.
    ExitCode dispatchNoticed(const CommandLine& line);
    ExitCode dispatch(const CommandLine& line);
    std::string dataFolder(const CommandLine& line) const;

    ExitCode list(catalog::Catalog& data, const CommandLine& line);
    ExitCode paths(catalog::Catalog& data, const CommandLine& line);
    ExitCode newSet(catalog::Catalog& data, const CommandLine& line);
    ExitCode addPaths(catalog::Catalog& data, const CommandLine& line);
    ExitCode removePaths(catalog::Catalog& data, const CommandLine& line);
    ExitCode deleteSet(catalog::Catalog& data, const CommandLine& line);
    ExitCode backup(catalog::Catalog& data, const CommandLine& line);
    /// Writes a run, or its refusal, to the run history.
    using RunRecorder = std::function<void(const backup::BackupSettings&, const backup::BackupResult&)>;
    ExitCode backup(catalog::Catalog& data, const catalog::BackupSet& set, const CommandLine& line,
                    const RunRecorder& recordRun);
    ExitCode dump(const CommandLine& line);

    std::ostream& m_out;
    std::ostream& m_err;
    RunNotice m_notice;
    /// A real run's events for --json or --verbose, while a backup command runs.
    RunEventPrinter* m_events = nullptr;
};

} // namespace stowmere::cli
