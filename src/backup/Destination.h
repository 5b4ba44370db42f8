// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/FileCopier.h"
#include "platform/FileQueries.h"
#include "platform/FileSystemIdentity.h"
#include "platform/Metadata.h"
#include "platform/UniqueFd.h"

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <functional>
#include <limits>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <system_error>
#include <vector>

namespace stowmere::backup {

/// What an entry of a destination folder is, the entry itself (a link is a link, never
/// what it leads to).
enum class DestinationKind { Missing, File, Folder, Link, Other };

/// One entry of a destination folder, everything a run decides on from a single listing.
struct DestinationEntry {
    std::string name;
    DestinationKind kind = DestinationKind::Missing;
    std::uint64_t size = 0;
    timespec modified{};
    mode_t mode = 0; ///< permission bits (07777)
    /// Bytes the entry takes on the destination's disk; 0 when the destination cannot tell.
    std::uint64_t allocated = 0;
    /// What the entry is on its file system; zero where the destination cannot tell.
    files::FileIdentity identity;
    /// The type bits (S_IFMT) of an entry of kind Other: a FIFO, a socket or a device.
    mode_t format = 0;
    /// The device a device node stands for (st_rdev).
    std::uint64_t device = 0;
    /// Names the entry has (st_nlink); 0 where the destination cannot tell.
    std::uint32_t links = 0;
};

/// A path below a destination: folder's relative path and name joined with '/'.
std::string joinRelative(const std::string& folder, std::string_view name);

/// The entry as a file status, for the rules that compare a copy with its source.
files::FileStatus statusOf(const DestinationEntry& entry);

/// A folder of the destination held open. Every name given with it is one entry of that
/// folder, never a path: what a destination writes can then never leave the folder it was
/// opened as, whatever links stand in the tree. Handles stay valid while the destination
/// lives; a folder moved or removed meanwhile keeps its handle, which then names what it
/// opened (on the local disk) or fails cleanly (on a server).
class DestinationFolder {
public:
    virtual ~DestinationFolder() = default;
    DestinationFolder(const DestinationFolder&) = delete;
    DestinationFolder& operator=(const DestinationFolder&) = delete;

    /// The folder's path below the destination: "" for the destination itself, else
    /// names joined with '/'.
    const std::string& relative() const { return m_relative; }

protected:
    explicit DestinationFolder(std::string relative) : m_relative(std::move(relative)) {}

private:
    std::string m_relative;
};

using FolderHandle = std::shared_ptr<const DestinationFolder>;

/// Where a replaced copy goes: an open folder (made on demand, below the versions folder)
/// and the entry name it takes there.
struct VersionPlace {
    FolderHandle folder;
    std::string name;
};

/// Asked for a VersionPlace only once the new copy is complete and something stands under
/// the target's name, so that a cancelled or failed copy makes no run folder. None without
/// an error: what stands there needs no keeping (the same file) and is replaced. An error
/// stops the write; the old copy stays where it was. Whatever stands there is kept whole,
/// of whatever kind: a file, a link, or a folder with everything below it.
using VersionPlaceMaker = std::function<std::optional<VersionPlace>(std::error_code& error)>;

/// One file or link to write into a destination folder.
struct WriteRequest {
    FolderHandle folder;
    std::string name;
    /// The source to read: a local path (links followed for a file, read as the link for
    /// a link), or an open descriptor when sourceFd is valid (restore reads its copies
    /// that way, never by a path that a planted link could divert).
    std::string source;
    int sourceFd = -1;
    /// Write a symbolic link with the source link's target text instead of a file.
    bool link = false;
    /// With link: leave a link that already has the same text as it is (Unchanged).
    bool onlyWhenDifferent = false;
    files::CopyProgress progress;
    std::uint64_t sizeLimit = std::numeric_limits<std::uint64_t>::max();
    /// When set, whatever stands under name is kept there before the new copy takes the
    /// name: the name always holds a complete copy, the old one or the new one.
    VersionPlaceMaker keepReplaced;
    /// Take the digest of a small file's bytes as they are written (CopyOutcome::digest),
    /// where the destination can; the manifest then need not read the copy back.
    bool digest = false;
};

/// A FIFO or device node to make in a destination folder, as its source is.
struct SpecialRequest {
    FolderHandle folder;
    std::string name;
    /// The source's status, read without opening it: type, bits, device, owner, times.
    struct stat source {};
    files::Metadata metadata;
    /// As for a write: whatever stands under name is kept before the new entry takes it.
    VersionPlaceMaker keepReplaced;
};

/// A folder to give its source's owner, attributes, bits and times, once filled.
struct FolderFinish {
    FolderHandle parent;
    std::string name;
    files::Metadata metadata;
    mode_t mode = 0; ///< the source's bits, set-uid and the like too
    timespec accessed{};
    timespec modified{};
    /// Told back: what the destination could not keep.
    files::MetadataLoss loss{};
};

/// A write issued and not collected yet.
class PendingWrite {
public:
    virtual ~PendingWrite() = default;
};

/// Writes of one thread. A destination over a network sends each write when it is issued
/// and waits for the answers only when they are collected, so a run can have the next
/// file on its way while the last one is confirmed; the local disk writes at once. Not
/// thread-safe: one writer per thread, any number per destination.
class DestinationWriter {
public:
    virtual ~DestinationWriter() = default;

    /// Issues a write: its progress callbacks may come now or while it is collected.
    virtual std::unique_ptr<PendingWrite> start(WriteRequest request) = 0;
    /// Waits for a write issued by this writer and tells how it ended. Writes are
    /// collected in the order they were issued.
    virtual files::CopyOutcome collect(std::unique_ptr<PendingWrite> pending) = 0;

    /// A write issued and collected at once.
    files::CopyOutcome write(WriteRequest request) { return collect(start(std::move(request))); }
};

/// A file of the destination's own that grows at its end (a journal). Each append reaches
/// the file before it returns, so a process killed later keeps it.
class DestinationAppender {
public:
    virtual ~DestinationAppender() = default;
    /// Adds bytes at the end of the file, all or, with an error, none that count.
    virtual std::error_code append(std::string_view bytes) = 0;
    /// Bytes in the file when it was opened.
    virtual std::uint64_t sizeAtOpen() const = 0;
};

/// What taking the run lock found.
enum class RunLockResult {
    Taken,
    Busy,        ///< another run holds it
    Unsupported, ///< the destination has no locks; the run goes on without one
    Failed,      ///< the lock could not be taken at all; the error says why
};

/// The place a run, a preview, a restore or a prune writes to, and every operation done
/// to it. Each folder is reached through a handle, and each operation names one entry of
/// that folder: an implementation resolves names beneath the destination and never follows
/// a link on the way, so a link planted in the tree, before or during a run, only ever
/// stands for itself. A failure is returned as an error code (the system's reason), never
/// thrown. Calls that take handles may come from several threads at once; writes go
/// through one writer per thread.
class Destination {
public:
    virtual ~Destination() = default;

    /// The destination as its user names it (a folder path), for messages.
    virtual const std::string& location() const = 0;
    /// The full path of an entry for messages: location joined with the folder's relative
    /// path and name.
    std::string pathOf(const DestinationFolder& folder, std::string_view name = {}) const;
    std::string pathOf(std::string_view relative) const;

    // Folders

    /// The destination folder itself.
    virtual FolderHandle root() = 0;
    /// A folder by its path below the destination ('/'-separated names, "" for the root),
    /// reached without following any link: a link on the way fails with ELOOP or ENOTDIR,
    /// a name ".." with EXDEV.
    virtual FolderHandle openFolder(std::string_view relative, std::error_code& error) = 0;
    /// The folder name of parent; a link named so fails (ELOOP or ENOTDIR).
    virtual FolderHandle openFolder(const FolderHandle& parent, const std::string& name,
                                    std::error_code& error) = 0;
    /// Makes the folder name in parent (or finds it there) and opens it. A link standing
    /// where the folder belongs is replaced by the folder (it holds no data); a file there
    /// fails with EEXIST. created tells whether the folder is new.
    virtual FolderHandle makeFolder(const FolderHandle& parent, const std::string& name, mode_t mode,
                                    bool& created, std::error_code& error) = 0;
    /// Where the destination makes folders without waiting for the answer (a server),
    /// waits for the answers that the folder at relative and those above it need. The error
    /// of the one that could not be made, and its relative path in failed; none where they
    /// were all made (always, where each folder is made at once).
    virtual std::error_code awaitFolder(std::string_view relative, std::string& failed)
    {
        (void)relative;
        failed.clear();
        return {};
    }
    /// Every entry of the folder but "." and "..", with kind, size, time and mode, in one
    /// call.
    virtual std::vector<DestinationEntry> list(const FolderHandle& folder, std::error_code& error) = 0;
    /// Every entry but "." and "..", with its name and kind only (the rest left at its
    /// defaults): what comparing a folder's names needs, cheaper where the kinds come with
    /// the listing itself.
    virtual std::vector<DestinationEntry> listKinds(const FolderHandle& folder, std::error_code& error)
    {
        return list(folder, error);
    }
    /// Whether entries tell what they are on their file system (DestinationEntry::identity);
    /// where they never do, nothing need be looked at to learn it.
    virtual bool tellsIdentities() const { return true; }
    /// Whether a walk that looks at many entries of a folder had better list it once than
    /// ask for each entry by name: true where each call is a round trip.
    virtual bool prefersListing() const { return true; }
    /// One entry, not following a link; kind Missing when there is none.
    virtual DestinationEntry status(const FolderHandle& folder, const std::string& name) = 0;
    /// The folder itself.
    virtual DestinationEntry status(const FolderHandle& folder) = 0;
    /// The target text of the link name.
    virtual std::optional<std::string> readLink(const FolderHandle& folder, const std::string& name,
                                                std::error_code& error) = 0;
    /// Opens the file name for reading, never through a link (ELOOP).
    virtual files::UniqueFd openFile(const FolderHandle& folder, const std::string& name,
                                     std::error_code& error) = 0;

    // Changes

    /// A writer for the calling thread.
    virtual std::unique_ptr<DestinationWriter> writer() = 0;
    /// Sets the permission bits of the entry (a link's are left alone).
    virtual std::error_code setMode(const FolderHandle& folder, const std::string& name, mode_t mode) = 0;
    /// Sets the permission bits of the folder itself.
    virtual std::error_code setMode(const FolderHandle& folder, mode_t mode) = 0;
    /// Gives the entry (a link itself, never what it leads to) the owner, group and
    /// extended attributes of metadata as far as the destination can hold them, and tells
    /// what it could not keep. Called before setMode, whose bits a change of owner clears.
    /// A destination without owners or attributes keeps none and says so.
    virtual files::MetadataLoss setMetadata(const FolderHandle& folder, const std::string& name,
                                            const files::Metadata& metadata);
    /// The same for the folder itself.
    virtual files::MetadataLoss setMetadata(const FolderHandle& folder, const files::Metadata& metadata);
    /// Gives each folder its owner and attributes (setMetadata), its bits (setMode; set-uid
    /// and set-gid only where the owner was kept) and its times (setTimes), in the order
    /// given, deepest first. A folder that turned into something else is left alone. One
    /// folder after the other here; a destination where each call is a round trip gives
    /// folders of one depth theirs together.
    virtual void finishFolders(std::span<FolderFinish> folders);
    /// Sets the access and modification times of the entry (of a link itself).
    virtual std::error_code setTimes(const FolderHandle& folder, const std::string& name,
                                     const timespec& accessed, const timespec& modified) = 0;
    /// Moves an entry (with all below a folder) to another place of the destination.
    virtual std::error_code rename(const FolderHandle& from, const std::string& fromName,
                                   const FolderHandle& to, const std::string& toName) = 0;
    /// Removes a file or link; a folder with everything below it when it is one. Never
    /// follows a link: only the link goes.
    virtual std::error_code remove(const FolderHandle& folder, const std::string& name) = 0;
    /// Removes the folder name when it is empty; ENOTEMPTY otherwise.
    virtual std::error_code removeEmptyFolder(const FolderHandle& folder, const std::string& name) = 0;
    /// Whether FIFOs and device nodes can be made here at all (makeSpecial).
    virtual bool holdsSpecials() const { return false; }
    /// Makes the FIFO or device node of request under a temporary name, with the source's
    /// owner, attributes, bits and times, and gives it the name. Nothing is ever opened:
    /// a FIFO would block. A device the process may not make fails with EPERM.
    virtual files::CopyOutcome makeSpecial(const SpecialRequest& request);
    /// Whether a second name for an existing file can be made here (makeHardLink).
    virtual bool holdsHardLinks() const { return false; }
    /// Gives the file firstName of firstFolder the name name in folder as well, replacing
    /// what stands there (kept first through keepReplaced when set). Unchanged when name is
    /// already that file; LinksRefused when the file system cannot hold a second name.
    virtual files::CopyOutcome makeHardLink(const FolderHandle& firstFolder, const std::string& firstName,
                                            const FolderHandle& folder, const std::string& name,
                                            const VersionPlaceMaker& keepReplaced);
    /// Removes what a killed writer left in the folder; returns how many.
    virtual std::size_t removeLeftovers(const FolderHandle& folder) = 0;
    /// Opens the file name of folder for appending, made (read and write for its owner
    /// alone) when missing, never through a link. A destination that cannot append fails
    /// with ENOTSUP.
    virtual std::unique_ptr<DestinationAppender> openAppend(const FolderHandle& folder,
                                                            const std::string& name, std::error_code& error)
    {
        (void)folder;
        (void)name;
        error = std::make_error_code(std::errc::not_supported);
        return nullptr;
    }

    // The destination as a whole

    /// Takes the run lock, so that two runs never write into one destination. The lock is
    /// never taken through a link standing under its name, and only a regular file is one.
    /// holder is the word the lock records for whoever finds it taken ("backup",
    /// "restore").
    virtual RunLockResult takeRunLock(std::string_view holder, std::error_code& error) = 0;
    /// The word the holder of the run lock recorded; empty when there is none.
    virtual std::string runLockHolder() = 0;
    /// A line for the run's output and history when takeRunLock took over the lock of a
    /// run that was gone; empty otherwise.
    virtual std::string runLockTakeOver() const { return {}; }
    virtual void releaseRunLock() = 0;
    /// Whether a run could write here, looked at without writing anything (a preview).
    virtual std::error_code checkWritable() = 0;
    /// Bytes a run may still write; 0 when unknown.
    virtual std::uint64_t freeBytes() = 0;
    /// What the drive guard recognises the destination by.
    virtual std::optional<files::FileSystemIdentity> identity(std::string& error) = 0;
    /// Whether each copy a writer makes has its source's times once it has its name, even
    /// where the destination's times are coarse: the writer sets them after the last
    /// write itself, and the run need not set them again.
    virtual bool writerKeepsTimes() const { return false; }
    /// Writers a full copy keeps busy at once beside the run's own thread: one on a local
    /// disk with a second core (more would only contend for the disk), many where each
    /// file waits for round trips rather than for the disk or a core.
    virtual unsigned helperWriters() const;
    /// Writes a run may issue through one writer before it collects the first of them: many
    /// where each write waits for round trips, which then overlap; none where a write is
    /// done as it is issued.
    virtual std::size_t writesAhead() const { return 0; }
    /// The finest modification-time step the destination keeps, in nanoseconds: measured
    /// (writing a temporary file), or guessed without writing when measure is false.
    virtual std::int64_t timeGranularity(bool measure) = 0;

    /// Makes the destination's own folder for temporaries at its top level (a link standing
    /// there gives way to it, never followed) and empties it of what a killed run left.
    /// Writers made afterwards write each copy there and move it into place complete, so no
    /// temporary ever stands among the copies. Called under the run lock. Without it (a
    /// restore writing into a source's folders) each copy is written beside its target,
    /// under a fresh name made exclusively.
    std::error_code prepareTemporaries();
    /// Removes that folder again when nothing is left in it, as after every run that ended
    /// in its own time: a destination holds it only while a run writes, or after one was
    /// killed.
    void releaseTemporaries();

protected:
    /// The folder of prepareTemporaries; null before.
    const FolderHandle& temporaries() const { return m_temporaries; }

private:
    FolderHandle m_temporaries;
};

/// Name of the lock file a run holds in its destination folder.
inline constexpr const char* kRunLockFileName = ".stowmere-run.lock";

/// Whether the entry name of folder is a link with the target text of the local link
/// source: the same link, which needs neither copying again nor keeping as a version. False
/// when either cannot be read.
bool sameLinkText(Destination& destination, const FolderHandle& folder, const std::string& name,
                  const std::string& source);

} // namespace stowmere::backup
