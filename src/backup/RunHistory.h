// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "backup/Destination.h"

#include <ctime>
#include <string>
#include <vector>

namespace stowmere::backup {

/// One run that changed a destination, as its record and its folder of kept copies tell.
struct RecordedRun {
    std::string name;     ///< its stamp with suffix: the name of its record and of its folder
    std::time_t time = 0; ///< its start, UTC
    unsigned suffix = 1;
    bool recorded = false; ///< it has a record (runs of older versions of the program have none)
    bool kept = false;     ///< it has a folder of kept copies
};

/// What a run's record tells, each list sorted.
struct RunFacts {
    std::vector<std::string> added;
    std::vector<std::string> replaced;
    std::vector<std::string> removed;
    /// Paths whose entry went into the run's folder, removed or replaced: below them the run
    /// folder holds all there was, never a mere folder on the way to a kept copy.
    std::vector<std::string> kept;
    bool complete = false; ///< the run finished
    bool readable = true;  ///< the record could be read (a missing record reads as empty)
};

/// Reads the runs a destination recorded.
class RunHistory {
public:
    explicit RunHistory(Destination& destination) : m_destination(destination) {}

    /// Every run with a record or a folder of kept copies, oldest first.
    std::vector<RecordedRun> runs() const;
    /// The facts of run; empty when it has no record.
    RunFacts facts(const RecordedRun& run) const;

    /// Whether path or a folder above it is in sorted (a sorted list of paths).
    static bool atOrBelowAny(const std::vector<std::string>& sorted, const std::string& path);

private:
    Destination& m_destination;
};

} // namespace stowmere::backup
