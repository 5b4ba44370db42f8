// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "backup/BackupLayout.h"
#include "backup/Destination.h"
#include "backup/MomentTree.h"

#include <cstddef>
#include <ctime>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace stowmere::backup {

/// One entry of a destination's tree at a moment.
struct MomentFile {
    std::string relative; ///< below the destination
    std::string original; ///< where it came from; empty when no item of the set holds it
    std::string run;      ///< the run folder its copy is kept in; empty for a current copy
    DestinationEntry entry;
};

/// A set's destination as the last run at or before a moment left it, opened once and read
/// as far down as asked: all of a tree for a listing, one folder at a time for a browser
/// that fills a folder when it is opened.
class MomentBrowser {
public:
    /// destination as stored and items as the set lists them. Throws RestoreRefusal when a
    /// server cannot be reached or the local destination cannot be read; a local
    /// destination that is not there held nothing at any moment.
    MomentBrowser(const std::string& destination, std::vector<std::string> items, std::time_t at);
    ~MomentBrowser();
    MomentBrowser(const MomentBrowser&) = delete;
    MomentBrowser& operator=(const MomentBrowser&) = delete;

    /// Tells the entry at the original path and what stood below it, levels deep
    /// (MomentTree::kAllLevels for all), a folder before what it holds; an empty path
    /// stands for the whole destination. Throws RestoreRefusal for a path no item holds.
    void visit(const std::string& original, std::size_t levels,
               const std::function<void(const MomentFile&)>& told);

    /// The set's items that stood at the moment, in the set's order, each with its entry.
    std::vector<MomentFile> items();
    /// What the folder at the original path held at the moment, names in byte order.
    std::vector<MomentFile> children(const std::string& original);

    /// The later runs that kept no record of what they added (see
    /// RestoreResult::unrecordedRuns).
    std::vector<std::string> unrecorded() const;

private:
    BackupLayout m_layout;
    std::vector<std::string> m_items;
    std::unique_ptr<Destination> m_copies;
    std::optional<MomentTree> m_tree;
};

/// The moments a destination can be restored to: the start of each run that changed it
/// (recorded, or with a folder of kept copies), newest first, one per second. Empty for a
/// local destination that is not there; throws RestoreRefusal as MomentBrowser does.
std::vector<std::time_t> recordedMoments(const std::string& destination);

/// Tells each entry of the destination's tree as the last run at or before at left it, with
/// a path only those of that file or folder (an original path), a folder before what it
/// holds. Returns the later runs that kept no record of what they added. Throws
/// RestoreRefusal for a path no item holds.
std::vector<std::string> listMoment(const std::string& destination, const std::vector<std::string>& items,
                                    std::time_t at, const std::string& path,
                                    const std::function<void(const MomentFile&)>& told);

} // namespace stowmere::backup
