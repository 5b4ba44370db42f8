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
std::string NotMirroredText(const std::string& item);
/// The refusal of a massive removal (RemovalPlan::massive).
std::string MassRemovalText(const std::string& item, std::uint64_t files, std::uint64_t copies,
                            bool sourceEmpty);
/// What a mirrored run moved, and where to.
std::string RemovedText(std::uint64_t removed, const std::string& runFolder);

/// Compares a folder item with its copy, folder by folder, and finds every entry of the
/// copy that is no longer in the source. Only what the source's listing shows to be gone
/// counts: a source folder that cannot be read keeps all of its copy, and so do entries
/// that an exclusion pattern or a cache tag leaves out. Nothing is changed here.
class MirrorPlanner {
public:
    /// Everything given must outlive the planner.
    MirrorPlanner(Destination& destination, const Exclusions& exclusions, bool honourCacheDirTag,
                  const std::atomic<bool>& cancelFlag);

    /// The plan for item, whose copy is the folder base below the destination (base not
    /// empty: an item copied straight into the destination shares it with other items).
    RemovalPlan plan(const std::string& item, const std::string& base);

private:
    /// A copy folder to compare with its source.
    struct Pending {
        std::string source;   ///< the source folder
        std::string rel;      ///< its path below the item: "" or "/a/b"
        std::string relative; ///< the copy's path below the destination
    };

    void compare(const Pending& folder, std::vector<Pending>& pending, RemovalPlan& plan, bool top);
    /// The files, links and specials below the copy folder at relative, itself excluded.
    std::uint64_t filesBelow(const std::string& relative);
    bool cancelled() const { return m_cancelFlag.load(); }

    Destination& m_destination;
    const Exclusions& m_exclusions;
    bool m_honourCacheDirTag;
    const std::atomic<bool>& m_cancelFlag;
    /// The destination folder itself, where the destination can tell: a source folder that
    /// is it is never compared with a copy.
    files::FileIdentity m_destinationIdentity;
};

} // namespace stowmere::backup
