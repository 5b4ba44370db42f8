// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "backup/Destination.h"
#include "backup/Exclusions.h"
#include "backup/FolderScan.h"
#include "backup/Mirror.h"
#include "backup/RunSink.h"
#include "backup/TimeGranularity.h"

#include <atomic>
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace stowmere::backup {

/// What a walk looks at and how.
struct WalkSettings {
    /// The destination as targets are made from it: no trailing separator, "" for the root.
    std::string destination;
    bool incremental = false;
    bool honourCacheDirTag = false;
    /// Scan a folder item's folders on a second thread, ahead of the sink.
    bool parallelScan = true;
};

/// Walks the checked items of a run once and hands every decision to a sink: a file item,
/// then a folder item's folders (from the scan, on its own thread when allowed) and each
/// folder's files and links. Exclusions, cache tags, pseudo file systems, links and the
/// incremental rule are decided here and nowhere else; what is done about them is the
/// sink's.
class Walk {
public:
    enum class Outcome {
        Walked,  ///< the item was walked (or found to be its own copy)
        Missing, ///< neither a file nor a folder
        Overlap, ///< it lies inside the destination, or holds it
    };

    /// Everything given must outlive the walk. Existing copies are looked at only through
    /// destination, so that the walk is the same whatever holds them.
    Walk(const WalkSettings& settings, Destination& destination, const Exclusions& exclusions,
         const std::atomic<bool>& cancelFlag, TimeGranularity& granularity, RunSink& sink);

    /// Walks one item. What cannot be read is the sink's to hear; an error of the scan
    /// itself comes out as an exception.
    Outcome item(const std::string& item);

    /// The base name a folder item's tree is copied under: its last component (the whole
    /// text for a name without separator), empty for the file-system root, for an item that
    /// ends with a separator and for a last component "." or "..".
    static std::string baseName(const std::string& item);

    /// How far the scan may run ahead of the sink, in files (and folders): some 6 MiB of
    /// names and times at most, whatever the size of the tree.
    static constexpr std::size_t kMaxFilesAhead = 65536;

    /// While plan is set, each folder the walk reads and enters adds to it the entries of
    /// its copy whose source is gone (see planRemovals): a mirrored run's removals, found as
    /// the walk compares each folder instead of by a second walk. Unset with nullptr.
    void collectRemovals(RemovalPlan* plan) { m_removals = plan; }

    /// The bytes of the regular files of the items walked so far whose status was looked
    /// at (every file of an incremental walk): what their copies take at most.
    std::uint64_t sourceBytes() const { return m_sourceBytes; }

private:
    /// What the walk knows of the entries of the copy folder it walks.
    struct CopyListing {
        /// The copy folder; null when its entries are not looked at (a full copy, or a
        /// folder made just now, which holds nothing).
        FolderHandle folder;
        /// Every entry, by name; unused when byName.
        std::vector<DestinationEntry> entries;
        /// Each entry asked for by its name: a folder too large to list at once.
        bool byName = false;
    };

    /// What a full copy has read ahead of each file while scanning: small files whole.
    static constexpr std::size_t kPrefetchBytes = std::size_t{64} * 1024;

    void fileItem(const std::string& item);
    void folderItem(const std::string& item);
    ScanSettings scanSettings(const std::string& base);
    bool scanAhead() const;
    bool looksAtTargets() const { return m_incremental || m_sink.looksAtTargets(); }
    /// Whether each source file is looked at as its folder is read.
    bool looksAtFiles() const { return looksAtTargets() || m_sink.keepsHardLinks(); }
    /// A special file's copy is up to date when it is of the same kind (a device of the same
    /// device) with the same time.
    Verdict classifySpecial(const DestinationEntry& copy, const ScannedFile& source);
    void folder(const std::string& item, const std::string& base, const FolderRecord& record);
    void entries(const FolderFacts& folder, const std::string& rel, const std::vector<ScannedFile>& files,
                 const CopyListing& copies, bool sourceSeen);
    void walkEntries(const FolderFacts& folder, const std::vector<ScannedFile>& files,
                     const std::vector<bool>& leftOut, const CopyListing& copies, bool sourceSeen);
    /// Adds the removals of one folder, whose source held names, to m_removals.
    void noteRemovals(const FolderFacts& folder, const std::string& rel, bool top,
                      std::vector<std::string> names, const CopyListing& copies);
    /// The copy of name in the listed folder; kind Missing when there is none.
    DestinationEntry copyOf(const CopyListing& copies, const std::string& name);
    /// The identity of the folder below the destination at relative, to leave it out of
    /// the scan; none when there is no such folder or the destination cannot tell.
    std::optional<files::FileIdentity> copyFolderIdentity(const std::string& relative);
    /// The incremental rule and the kinds of difference a preview tells, for a file.
    Verdict classify(const files::FileStatus& target, const files::FileStatus& source);
    bool cancelled() const { return m_cancelFlag.load(); }

    std::string m_dest;
    Destination& m_destination;
    bool m_incremental;
    bool m_honourCacheDirTag;
    bool m_parallelScan;
    const Exclusions& m_exclusions;
    const std::atomic<bool>& m_cancelFlag;
    TimeGranularity& m_granularity;
    RunSink& m_sink;
    std::uint64_t m_sourceBytes = 0;
    RemovalPlan* m_removals = nullptr;
};

} // namespace stowmere::backup
