// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/ContentDigest.h"

#include "platform/Metadata.h"
#include "platform/TemporaryFile.h"

#include <cstdint>
#include <functional>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <sys/stat.h>
#include <system_error>
#include <utility>
#include <vector>

namespace stowmere::files {

/// How one copy ended, and on which side a failure lies: a source that vanished or cannot
/// be read costs the backup one file, a destination that cannot be written costs it all.
struct CopyOutcome {
    enum class Status {
        Copied,            ///< the target now holds a copy of the source
        Unchanged,         ///< a link whose copy already had the same target text
        SameFile,          ///< source and target are one file; nothing was done
        Cancelled,         ///< abandoned between two chunks; the target is untouched
        SourceFailed,      ///< the source vanished, changed its kind or could not be read
        DestinationFailed, ///< the target could not be written; it is untouched
        LinksRefused,      ///< the destination's file system cannot hold a symbolic link
        TooLarge,          ///< the source is larger than the caller's limit; nothing was done
    };
    Status status = Status::Copied;
    std::error_code error;
    /// With SourceFailed: the source was there but is no longer what it was listed as
    /// (a file turned into a folder, a link into a file).
    bool changedKind = false;
    /// With Copied: the bytes of the file copied (its size when it was opened).
    std::uint64_t bytes = 0;
    /// With DestinationFailed: the new copy was complete, but the copy it replaces could
    /// not be kept; both stay as they were.
    bool keepFailed = false;
    /// With Copied: what of the source's owner, group and attributes the copy could not
    /// keep (the destination refused it); set-uid and set-gid are then not kept either.
    MetadataLoss lost{};
    /// With Copied, when a digest was asked for and the bytes passed through memory: the
    /// digest of the digested bytes written, which are all the copy holds.
    std::optional<ContentDigest::Bytes> digest{};
    std::uint64_t digested = 0;
    /// With Copied, by copyOpenFile: the modification time given to the copy (which a file
    /// system with coarser times keeps cut down).
    timespec modified{};
    /// modified is the time the copy has, read back from the destination after it was
    /// given, not only the time given.
    bool modifiedKept = false;

    bool succeeded() const
    {
        return status == Status::Copied || status == Status::Unchanged || status == Status::SameFile;
    }
};

/// Told between two chunks of a copy how far it has come (bytes of the source done, and
/// its size; 0 for a file that does not tell its size). Returning false abandons the copy.
using CopyProgress = std::function<bool(std::uint64_t done, std::uint64_t size)>;

/// Copies single files the way a backup needs them: the old copy is never destroyed by a
/// failed or interrupted copy. Keeps what it learns between copies (file systems that
/// refuse to share blocks or to hold unnamed files, the copy buffer), so one copier should
/// serve a whole run. Not thread-safe: one copier per thread.
class FileCopier {
public:
    /// Data moves in pieces of this size at most, so that a cancel is seen within a
    /// fraction of a second even during a copy of many gigabytes.
    static constexpr std::uint64_t kChunkSize = std::uint64_t{4} << 20;

    FileCopier();
    ~FileCopier();
    FileCopier(const FileCopier&) = delete;
    FileCopier& operator=(const FileCopier&) = delete;

    /// Copies the regular file source (links followed) to target, replacing it. The data
    /// goes into a temporary file in the target's folder, which receives the source's owner
    /// and group (as far as the process may give them), extended attributes and ACLs,
    /// permission bits and access and modification times (to the nanosecond), and only then
    /// the target's name. Holes of a sparse file stay holes. On failure or cancel nothing is
    /// left of the temporary file and target is exactly as it was. The target folder must
    /// exist. A source of more than sizeLimit bytes is left alone (TooLarge).
    CopyOutcome copyFile(const std::string& source, const std::string& target,
                         const CopyProgress& progress = {},
                         std::uint64_t sizeLimit = std::numeric_limits<std::uint64_t>::max());

    /// Called once a new copy is complete under a temporary name and something stands
    /// under the name it takes, just before it takes it.
    using BeforeReplace = std::function<std::error_code()>;

    /// copyFile into the entry name of the open folder folderFd, never through a link
    /// standing there. The source is read from sourceFd when it is valid (source then only
    /// names it), else opened by its path.
    /// With digest, a file of at most kDigestedInMemory bytes is copied through memory and
    /// its outcome carries the digest of what was written (larger ones move inside the
    /// kernel and carry none). folderDevice, when the caller knows it, spares asking.
    CopyOutcome copyFileInto(const std::string& source, int sourceFd, int folderFd, const std::string& name,
                             const CopyProgress& progress = {},
                             std::uint64_t sizeLimit = std::numeric_limits<std::uint64_t>::max(),
                             const BeforeReplace& beforeReplace = {}, bool digest = false,
                             std::optional<std::uint64_t> folderDevice = std::nullopt);

    /// The largest file whose digest is taken as it is copied.
    static constexpr std::uint64_t kDigestedInMemory = std::uint64_t{1} << 20;

    /// copyLink into the entry name of the open folder folderFd.
    CopyOutcome copyLinkInto(const std::string& source, int folderFd, const std::string& name,
                             bool onlyWhenDifferent, const BeforeReplace& beforeReplace = {});

    /// Writes the temporary files of copyFileInto and copyLinkInto in the open folder
    /// folderFd (kept open by the caller) rather than beside their targets, and moves each
    /// into place complete. A target on another file system than that folder has its
    /// temporary beside it, as without one. -1 goes back to that.
    void useTemporaryFolder(int folderFd);

    /// copyFile without progress, reduced to the reason of a failure.
    std::error_code copy(const std::string& source, const std::string& target);

    /// Re-creates the symbolic link source at target with the same target text (never
    /// followed), replacing what target names. With onlyWhenDifferent a target that is
    /// already a link to the same text is left alone (Unchanged).
    CopyOutcome copyLink(const std::string& source, const std::string& target, bool onlyWhenDifferent);

    /// Name prefix of the temporary files that get a name.
    static constexpr const char* kTemporaryPrefix = ".stowmere-tmp-";

private:
    std::uint64_t folderDevice(const std::string& folder);
    /// The folder a temporary for a target in folderFd (on device) is written in.
    int temporaryFolderFor(int folderFd, std::uint64_t device) const;
    CopyOutcome copyOpenFile(int input, const struct stat& sourceInfo, int folderFd, const std::string& name,
                             std::uint64_t device, const CopyProgress& progress,
                             const BeforeReplace& beforeReplace, bool digest);
    bool shareBlocks(int sourceFd, int targetFd, std::uint64_t sourceDevice, std::uint64_t targetDevice);
    CopyOutcome copyData(int sourceFd, int targetFd, const struct stat& source, const CopyProgress& progress);
    CopyOutcome copyRange(int sourceFd, int targetFd, std::uint64_t from, std::uint64_t to,
                          std::uint64_t size, const CopyProgress& progress);
    /// Copies through the buffer; with digest, every byte written is fed to m_digest and
    /// counted in m_digested.
    CopyOutcome readWriteRange(int sourceFd, int targetFd, std::uint64_t from, std::uint64_t to,
                               std::uint64_t size, const CopyProgress& progress, bool digest = false);

    std::vector<std::pair<std::uint64_t, std::uint64_t>> m_noSharing; ///< device pairs that refused a reflink
    TemporaryFile::Support m_temporarySupport;
    std::unique_ptr<char[]> m_buffer;
    ContentDigest m_digest;
    std::uint64_t m_digested = 0;
    std::string m_lastFolder; ///< target folder of the last copy, and its device
    std::uint64_t m_lastFolderDevice = 0;
    int m_temporaryFolder = -1; ///< see useTemporaryFolder; not owned
    std::uint64_t m_temporaryDevice = 0;
    bool m_temporaryFolderGivesAcl = false; ///< the folder has a default ACL its files inherit
    /// The owner and group a file made in the temporary folder gets, learnt from the first.
    std::optional<Ownership> m_temporaryOwnership;
    mode_t m_umask;
};

} // namespace stowmere::files
