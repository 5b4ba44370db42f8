// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "backup/Destination.h"
#include "backup/FolderScan.h"
#include "platform/FileQueries.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace stowmere::backup {

/// What the walk decided about a file or link and its copy.
enum class Verdict {
    Unknown, ///< the copy was not looked at (a full copy): copy it
    New,     ///< no file copy yet (nothing there, or something of another kind)
    Size,    ///< the copy differs in size
    Newer,   ///< the copy is older than the source
    Older,   ///< the copy is newer than the source (an older file was put back)
    Same,    ///< an incremental run leaves the copy alone: it is up to date
    Replace, ///< the copy is up to date, yet a full run copies again
    Link,    ///< a link, made anew unless its copy already points the same way
    Special, ///< a FIFO, socket or device node whose copy is missing, differs or is of another kind
};

/// A folder of a folder item and where its copy goes.
struct FolderFacts {
    const std::string& source;
    const std::string& target;
    mode_t mode = 0; ///< the source's permission bits; 0 when unknown
    /// The folder keeps its own bits (the destination, when an item is copied straight into it).
    bool keepsOwnMode = false;
    /// The copy folder, held open by the walk; null until it exists.
    FolderHandle copy;
    /// The copy folder's path below the destination ("" for the destination itself).
    std::string_view relative;
};

/// One file or link the walk hands over, with what it knows of it.
struct EntryFacts {
    const std::string& source;
    const std::string& target;
    /// The folder the copy goes into: the destination for a file item.
    const std::string& targetFolder;
    bool link = false;
    /// Its place in the list handed to beginEntries; none for a file item.
    std::size_t index = 0;
    /// The source as the walk saw it; null when nobody looked (a full copy).
    const files::FileStatus* sourceStatus = nullptr;
    /// The copy as the walk saw it: kind Missing when absent or not looked at.
    files::FileStatus targetStatus;
    Verdict verdict = Verdict::Unknown;
    /// Bytes the copy takes on the destination's disk; 0 when unknown or not looked at.
    std::uint64_t targetAllocated = 0;
    /// The scan's record of an entry of a folder (its names count, a special's kind);
    /// null for a file item.
    const ScannedFile* scanned = nullptr;

    /// The type bits of a FIFO, socket or device node; 0 for a file or link.
    mode_t special() const { return scanned ? scanned->special : 0; }
    /// A regular file with more names than this one, whose copy is to share its names.
    bool multiLinked() const
    {
        return scanned && !link && scanned->special == 0 && scanned->status.links > 1;
    }
};

/// Where the walk hands each decision: what a run does with the items (copies them,
/// previews them, counts them) is a sink's alone. The walk calls a sink from one thread,
/// in the order a run meets things, and never asks what kind of sink it has.
class RunSink {
public:
    virtual ~RunSink() = default;

    /// Whether the walk reads the state of every copy so that each entry comes classified
    /// (New, Size, Newer, Same or Replace), not only those the incremental rule needs.
    virtual bool looksAtTargets() const = 0;
    /// Whether the sink reads the files' data, so that the scan may read ahead for it.
    virtual bool readsFiles() const = 0;
    /// Whether entries whose copy is up to date (Verdict::Same) are handed over at all.
    virtual bool wantsUnchanged() const = 0;
    /// Whether the sink keeps the names of one file within an item as names of one copy:
    /// every file is then looked at (its count of names), and up-to-date files with more
    /// than one name are handed over too.
    virtual bool keepsHardLinks() const { return false; }

    /// Something the run could not read and goes on without.
    virtual void notBackedUp(const std::string& path, const std::string& reason) = 0;
    /// A file or folder an exclusion pattern or a cache tag leaves out.
    virtual void excluded(const std::string& path) = 0;
    /// A checked item that is neither a file nor a folder.
    virtual void missingItem(const std::string& item) = 0;
    /// What went wrong in a folder beyond what the run can list: its walk ends there.
    virtual void failed(const std::string& text) = 0;
    /// The scan of a folder item has found count folders so far.
    virtual void foldersListed(std::size_t count) = 0;

    /// The copy of folder is missing (or was not looked at): makes it, or would. False
    /// stops the folder; created tells whether the copy is new, and so holds nothing yet.
    virtual bool makeFolder(const FolderFacts& folder, bool& created) = 0;
    /// The copy of folder is there; existing is its state, null when made just now.
    virtual void folderReady(const FolderFacts& folder, const files::FileStatus* existing) = 0;
    /// The files and links of folder, in the order they will be handed over; leftOut[i]
    /// tells that files[i] will be told as excluded instead (empty: none is). folder and
    /// files stay valid until the folder ends: with endEntries when its walk ends (the
    /// sink may still report then, and throw), or with abandonEntries when an exception
    /// ends it.
    virtual void beginEntries(const FolderFacts& folder, std::span<const ScannedFile> files,
                              const std::vector<bool>& leftOut) = 0;
    virtual void endEntries() = 0;
    virtual void abandonEntries() noexcept = 0;
    /// One file or link, of a folder or a file item; false stops the folder.
    virtual bool entry(const EntryFacts& entry) = 0;
    /// A file whose copy name in the folder folder (its path below the destination, "" for
    /// the destination itself) is up to date, and which is not handed over for that.
    virtual void upToDate(std::string_view /*folder*/, std::string_view /*name*/) {}
    /// A folder item's walk is over, however it ended.
    virtual void folderItemDone() = 0;
};

} // namespace stowmere::backup
