// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "backup/Destination.h"

#include <atomic>
#include <string>
#include <system_error>
#include <vector>

namespace stowmere::backup {

/// Removes the entry name of parent, a folder with everything below it. With cancel, looks
/// at it between two entries (a run folder of a million copies takes minutes to delete) and
/// then fails with operation_canceled.
std::error_code removeTree(Destination& destination, const FolderHandle& parent, const std::string& name,
                           const std::atomic<bool>* cancel);

/// Folds a newer run folder into an older one that stays, so that the moment before the
/// older run still comes back whole once the newer one is gone: what the older run kept
/// at a path wins, and so does what it (or a run in between that kept nothing) added or
/// removed above it; everything else the newer run kept moves over, and its record's facts
/// that still tell something are added to the older run's record. Then the newer run's
/// folder and record go. A merge cut short leaves both folders: what moved already tells
/// the same of the older moment from either place.
class RunFolderMerge {
public:
    /// into and from: names of run folders (and records) of the destination's versions;
    /// covering: the sorted paths below which the older runs decide (see above).
    RunFolderMerge(Destination& destination, std::string into, std::string from,
                   std::vector<std::string> covering);

    std::error_code run(const std::atomic<bool>* cancel);

private:
    std::error_code mergeFolder(const FolderHandle& from, const std::string& relative,
                                const std::atomic<bool>* cancel);
    /// The folder at relative in the older run folder, made with the folders above it when missing.
    FolderHandle intoFolder(const std::string& relative, std::error_code& error);
    /// Whether a covering path lies strictly below relative.
    bool coveredBelow(const std::string& relative) const;
    std::error_code mergeRecord();

    Destination& m_destination;
    std::string m_into;
    std::string m_from;
    std::vector<std::string> m_covering;
};

} // namespace stowmere::backup
