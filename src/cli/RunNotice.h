// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "backup/BackupEngine.h"
#include "cli/CommandLine.h"
#include "cli/DesktopNotifier.h"
#include "cli/ExitCode.h"

#include <cstddef>
#include <cstdint>
#include <ostream>
#include <string>

namespace stowmere::cli {

/// What a backup command came to, as far as its desktop notification tells it. The backup
/// command fills it in as it learns: the set, then either the run's result or the message
/// that stopped it first.
class RunNotice {
public:
    /// The set as the command line names it, until its description is known.
    void setName(std::string name) { m_set = std::move(name); }
    /// The message that stopped the command before or instead of the run, and what the user
    /// can do about it (shown whole, after the message).
    void setError(std::string message, std::string remedy = {})
    {
        m_error = std::move(message);
        m_remedy = std::move(remedy);
    }
    /// Items of the run done in full, of those it was to back up.
    void setItems(std::size_t done, std::size_t total)
    {
        m_itemsDone = done;
        m_itemsTotal = total;
    }
    /// The run proper ended with result.
    void setResult(const backup::BackupResult& result);

    /// Whether a run that exits with code gets a notification under mode. Failures means
    /// every exit but success and Ctrl-C: whoever pressed Ctrl-C is looking already, while
    /// a SIGTERM is the system stopping a run nobody watches, and a hang-up took away the
    /// terminal that showed the run.
    static bool wanted(NotifyMode mode, ExitCode code);

    /// Sends the notification when line's --notify wants one for code. A notification that
    /// cannot be shown changes nothing; only an explicit --notify always says so on err.
    void notify(const CommandLine& line, ExitCode code, std::ostream& err) const;

    /// The notification for an exit with code: which set, in a line or two what went
    /// wrong, and where the details are.
    DesktopNotification notification(ExitCode code) const;

    /// The longest line of a message in a notification body, in characters; longer ones lose
    /// their middle.
    static constexpr std::size_t kLineLength = 100;
    /// The most lines of a message a notification body shows.
    static constexpr std::size_t kMessageLines = 3;

private:
    std::string m_set;
    std::string m_error;
    std::string m_remedy;
    bool m_ran = false;
    std::size_t m_itemsDone = 0;
    std::size_t m_itemsTotal = 0;
    std::uint64_t m_filesCopied = 0;
    std::size_t m_notRead = 0;
    std::size_t m_notFound = 0;
    std::size_t m_otherErrors = 0;
    bool m_copyFailed = false;
    std::string m_failedFile;
    std::string m_failureReason;
};

} // namespace stowmere::cli
