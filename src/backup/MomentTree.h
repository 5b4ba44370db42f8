// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "backup/Destination.h"
#include "backup/RunHistory.h"

#include <atomic>
#include <ctime>
#include <functional>
#include <string>
#include <vector>

namespace stowmere::backup {

/// One entry of a destination as it stood at a moment, and where its copy is now.
struct MomentEntry {
    FolderHandle folder; ///< the destination folder that holds the copy; null for the destination itself
    std::string name;
    std::string path; ///< the copy's full path
    DestinationEntry entry;
    std::string run; ///< the run folder the copy is kept in; empty for a current copy
};

/// A destination's tree as the last run at or before a moment left it. The current tree is
/// what the newest run left; each later run's folder holds what that run replaced or
/// removed, and its record what it added. So the entry at a path, at the moment, is the one
/// in the folder of the first later run that kept one there; else absent when that run
/// removed a folder above it or added it; else, when no later run touched it, the current
/// copy. A run with no record (made before records were kept) tells only what it kept.
///
/// The tree is walked folder by folder, holding one listing per level and layer, and each
/// later run's list of added and removed paths: never the whole tree.
class MomentTree {
public:
    /// Over the open destination, which must outlive the tree.
    MomentTree(Destination& destination, std::time_t at);

    /// Told each entry with its path below the visited one ("" for that one itself), a
    /// folder before what it holds, names in byte order; returning false stops the walk.
    using Visitor = std::function<bool(const std::string& below, const MomentEntry& entry)>;

    /// Visits what stood at relative (below the destination; "" for all of it) at the
    /// moment, and below it down to levels deep (1: what a folder holds directly, as a
    /// browser fills one folder at a time). False when nothing stood there, or when
    /// cancelled or stopped.
    bool visit(const std::string& relative, const Visitor& visitor, const std::atomic<bool>& cancel,
               std::size_t levels = kAllLevels);

    static constexpr std::size_t kAllLevels = static_cast<std::size_t>(-1);

    /// The later runs whose record is missing (older program versions) or cannot be read:
    /// what they added is not known, and shows as if it had been there.
    const std::vector<std::string>& unrecorded() const { return m_unrecorded; }

private:
    struct Layer {
        std::string run;  ///< empty for the current tree
        FolderHandle top; ///< the run folder, or the destination; null when the run kept nothing
        RunFacts facts;
    };
    /// The layer whose entry stands at relative, and that entry; -1 when absent.
    int decide(const std::vector<const DestinationEntry*>& found, const std::string& relative) const;
    bool walk(const std::string& relative, const std::string& below, const std::vector<FolderHandle>& folders,
              const Visitor& visitor, const std::atomic<bool>& cancel, std::size_t levels);
    MomentEntry entryOf(std::size_t layer, const std::vector<FolderHandle>& folders,
                        const std::vector<const DestinationEntry*>& found, const std::string& relative) const;
    /// The folders of the layers for the entry decided at layer, whose found entries are folders.
    std::vector<FolderHandle> foldersBelow(std::size_t layer, const std::vector<FolderHandle>& folders,
                                           const std::vector<const DestinationEntry*>& found) const;

    Destination& m_destination;
    std::vector<Layer> m_layers; ///< later runs, oldest first, then the current tree
    std::vector<std::string> m_unrecorded;
};

} // namespace stowmere::backup
