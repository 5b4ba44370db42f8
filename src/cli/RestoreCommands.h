// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "catalog/Entities.h"
#include "cli/CommandLine.h"
#include "cli/ExitCode.h"

#include <ctime>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace stowmere::cli {

/// stowmere-cli versions and restore: the copies a set's backups replaced and kept, and
/// copying files and folders back.
class RestoreCommands {
public:
    RestoreCommands(std::ostream& out, std::ostream& err) : m_out(out), m_err(err) {}

    ExitCode versions(const catalog::BackupSet& set, const std::vector<std::string>& items,
                      const CommandLine& line);
    ExitCode restore(const catalog::BackupSet& set, const std::vector<std::string>& items,
                     const CommandLine& line);

    /// A --at TIME: "YYYY-MM-DD", "YYYY-MM-DD HH:MM[:SS]" or with a "T" between them, in
    /// local time, or followed by an ISO 8601 zone ("Z", "+HH:MM", "-HHMM", "+HH"); a
    /// fraction of a second is ignored; a run folder's stamp "YYYY-MM-DDTHHMMSSZ" in UTC.
    /// None when it is none of these.
    static std::optional<std::time_t> parseTime(const std::string& text);

private:
    /// parseTime, refusing what is no time.
    static std::time_t timeOf(const std::string& text);
    /// versions --at: the tree at a moment.
    ExitCode moment(const catalog::BackupSet& set, const std::vector<std::string>& items, std::time_t at,
                    const std::string& path);
    void tellUnrecorded(const std::vector<std::string>& runs);

    std::ostream& m_out;
    std::ostream& m_err;
};

} // namespace stowmere::cli
