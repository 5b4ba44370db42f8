// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "backup/Destination.h"
#include "backup/Exclusions.h"

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

namespace stowmere::backup {

/// One entry of a folder item's copy whose source is gone: a file, link or special, or a
/// folder with everything below it.
struct Removal {
    /// The source path that is gone (the item joined with the path below it).
    std::string source;
    /// The copy's path below the destination ('/'-separated).
    std::string relative;
    DestinationKind kind = DestinationKind::Missing;
    /// The files, links and specials it holds, itself included when it is one.
    std::uint64_t files = 0;
};

/// What a mirrored item's copy holds that its source no longer does.
struct RemovalPlan {
    std::vector<Removal> removals;
    /// The files, links and specials of the item's copy that were looked at.
    std::uint64_t copies = 0;
    /// Of those, the ones that would move.
    std::uint64_t removedFiles = 0;
    /// The item's folder holds nothing at all.
    bool sourceEmpty = false;
    /// The whole copy was compared: false when cancelled.
    bool complete = true;

    /// Whether the removals look like a source that is not the one backed up before (an
    /// unmounted disk, an emptied folder): the folder is empty while the copy holds files,
    /// or more than half of the copy's files would go.
    bool massive() const { return removedFiles > 0 && (sourceEmpty || removedFiles > copies - removedFiles); }
};

/// Why a mirrored run left a folder item's copy alone: it is copied straight into the
/// destination, or under the name of another item of the set.
std::string notMirroredText(const std::string& item);
/// The refusal of a massive removal (RemovalPlan::massive).
std::string massRemovalText(const std::string& item, std::uint64_t files, std::uint64_t copies,
                            bool sourceEmpty);
/// What a mirrored run moved, and where to.
std::string removedText(std::uint64_t removed, const std::string& runFolder);

/// Adds to plan the entries of one copy folder whose source is gone: each of copies (the
/// copy folder's entries, sorted by name) that names (every name the source folder held,
/// sorted) lacks, but for what an exclusion pattern leaves out. folderSource is the source
/// folder, rel its path below the item ("" or "/a/b") and relative the copy folder's path
/// below the destination. Only what a source listing shows to be gone counts: the walk
/// calls this for the folders it could read and entered, so an unreadable folder, a cache
/// left out and a pseudo file system keep all of their copies. Nothing is changed here.
void planRemovals(Destination& destination, const Exclusions& exclusions, const std::atomic<bool>& cancelFlag,
                  const std::string& folderSource, const std::string& rel, const std::string& relative,
                  const std::vector<std::string>& names, const std::vector<DestinationEntry>& copies,
                  RemovalPlan& plan);

} // namespace stowmere::backup
