// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "backup/Destination.h"

#include <ctime>
#include <memory>
#include <string>
#include <string_view>

namespace stowmere::backup {

/// First line of a run's record, with the version of its layout.
inline constexpr std::string_view kRunRecordHeader = "stowmere-run 1";

/// What one run changed in the destination, written as it goes, under the run lock, into
/// the records folder (kRunRecordsFolderName) under the name its folder of kept copies
/// takes (its start in UTC, with the same suffix), so another machine can tell which
/// copies a run kept and why. Each
/// line is one fact, appended: a run killed at any point leaves the facts written so far
/// and at most one torn last line, which readers skip. Lines:
///   moment SECONDS         the run's start (UTC seconds)
///   added PATH             nothing stood at PATH before the run (below it neither)
///   replaced PATH          the entry at PATH went into the run's folder, a newer copy took its place
///   removed PATH           the entry at PATH (with everything below it) went into the run's
///                          folder, because its source is gone or changed its kind
///   end                    the run finished
/// PATH is below the destination, '/'-separated, with '\' and newline escaped as "\\" and
/// "\n". Nothing is written for a run that changes nothing.
class RunRecord {
public:
    /// Over the destination (held under the run lock), for a run started at moment.
    RunRecord(Destination& destination, std::time_t moment);
    ~RunRecord();
    RunRecord(const RunRecord&) = delete;
    RunRecord& operator=(const RunRecord&) = delete;

    /// The run's name: the stamp of its start, with a suffix when another run of the same
    /// second has a record or a folder of kept copies. The run's folder of kept copies takes
    /// this name. Chosen on first use.
    const std::string& name();

    void added(std::string_view relative);
    void replaced(std::string_view relative);
    void removed(std::string_view relative);
    /// Writes the lines held back: at the end of each folder, and when the run ends.
    void flush();
    /// Marks the record complete; only for a run that went through.
    void finish();

    /// The first failure to write the record, as text for the run's notes; empty when none.
    const std::string& failure() const { return m_failure; }

    /// Lines held back before they are written: the facts of a folder go out together.
    static constexpr std::size_t kHeldBack = std::size_t{32} * 1024;

private:
    void add(std::string_view word, std::string_view relative);
    bool open();

    Destination& m_destination;
    std::time_t m_moment;
    std::string m_name;
    std::unique_ptr<DestinationAppender> m_appender;
    std::string m_heldBack;
    std::string m_failure;
    bool m_opened = false;
};

/// A path written into a record line, and back.
std::string escapeRecordPath(std::string_view path);
std::string unescapeRecordPath(std::string_view text);

} // namespace stowmere::backup
