// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "cli/CommandLine.h"
#include "cli/ExitCode.h"

#include <ostream>
#include <string>
#include <vector>

namespace stowmere::cli {

class DataFiles;

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
    ExitCode dispatch(const CommandLine& line);
    std::string dataFolder(const CommandLine& line) const;

    ExitCode list(DataFiles& data);
    ExitCode paths(DataFiles& data, const CommandLine& line);
    ExitCode newSet(DataFiles& data, const CommandLine& line);
    ExitCode addPaths(DataFiles& data, const CommandLine& line);
    ExitCode removePaths(DataFiles& data, const CommandLine& line);
    ExitCode deleteSet(DataFiles& data, const CommandLine& line);
    ExitCode backup(DataFiles& data, const CommandLine& line);
    ExitCode dump(const CommandLine& line);

    std::ostream& m_out;
    std::ostream& m_err;
};

} // namespace stowmere::cli
