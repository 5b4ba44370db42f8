// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "backup/Exclusions.h"
#include "platform/FileQueries.h"
#include "platform/OpenFolder.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace stowmere::backup {

/// Why nothing on a pseudo file system is backed up.
inline constexpr const char* kPseudoFileSystemReason =
    "it lies on a system file system (such as /proc or /sys) that holds no data";

/// A file, link or special file of a scanned folder, as seen when the folder was read.
struct ScannedFile {
    std::string name;
    /// Filled in only when the scan was asked to look at files, and always for a special.
    files::FileStatus status;
    bool link = false;
    /// The type bits (S_IFMT) of a FIFO, socket or device node; 0 for a file or link.
    mode_t special = 0;
    /// The device a device node stands for (st_rdev).
    std::uint64_t device = 0;
};

/// Whether a folder entry is handed out as a file: a regular file, a link, or a special
/// file (FIFO, socket, device), which is never opened.
bool isFileEntry(const files::FolderEntry& entry);

/// Fills file's status and type bits when it is a special file of the open folder
/// folderFd, looked at without opening it; leaves a file or link alone.
void lookAtSpecial(int folderFd, const files::FolderEntry& entry, ScannedFile& file);

/// A folder the scan left out of the copy, to be told when the folder record it travels
/// with is taken: an exclusion pattern or a cache tag matched it.
struct ScanExclusion {
    std::string path;
    /// Not excluded but left out as the entry (a file, link or folder) of an item copied
    /// straight into the destination whose name the destination keeps for its own.
    bool ownName = false;
};

/// One folder of a folder item, with everything the scan learnt about it. Records come in
/// depth-first order, each folder before the folders below it; the first is the item
/// folder itself. The last record of a scan is an end record, which names no folder.
struct FolderRecord {
    /// The folder relative to the item: "" for the item, "/Sub" (or "Sub" when the item
    /// ends with a separator) below it.
    std::string rel;
    /// Its place in the scan: 0 for the item folder; index + 1 folders are known once it is
    /// taken.
    std::size_t index = 0;
    mode_t mode = 0; ///< permission bits for the target folder; 0 when unknown
    files::FileIdentity identity;
    bool skip = false; ///< unreadable or on a pseudo file system: made empty or not at all
    bool unreadable = false;
    std::string unreadableReason; ///< why it could not be read, when unreadable
    /// Its files and links; none for a folder too large to keep, read again when copied.
    std::optional<std::vector<ScannedFile>> files;
    /// With ScanSettings::keepOtherNames, the names of the folder's entries that are not in
    /// files (its folders, left out or not): with files, every name it held.
    std::vector<std::string> otherNames;
    /// Folders left out that the scan met since the previous record, in the order met.
    std::vector<ScanExclusion> exclusions;
    bool end = false;
    /// What went wrong in the scan itself (not a folder it could not read): the scan stops
    /// here, and the taker rethrows it.
    std::exception_ptr error;

    /// Pages of file data the scan asked the system to read ahead for this folder.
    std::size_t prefetchedPages = 0;

    /// A rough measure of the memory a record holds (its own and the page cache it asked
    /// for), for the bound of the scan ahead.
    std::size_t weight() const
    {
        return 1 + (files ? files->size() : 0) + otherNames.size() + prefetchedPages;
    }
};

/// What a scan looks for and what it leaves out.
struct ScanSettings {
    /// Look at each file (size, time) as the folder is read, for an incremental run or a
    /// preview, which compare every file with its copy.
    bool lookAtFiles = false;
    bool honourCacheDirTag = false;
    /// Folders never entered (the destination, the item's own copy), by identity.
    std::vector<files::FileIdentity> excluded;
    /// The item is copied straight into the destination: the entries of its top folder
    /// named as the destination's own files are left out (told as ownName exclusions).
    bool leaveOutOwnNames = false;
    /// Keep the names of each folder's entries that are not files (FolderRecord::otherNames),
    /// for a mirrored run, which must know every name a folder holds.
    bool keepOtherNames = false;
    /// A folder with more files than this is not kept whole; its copy reads it again.
    std::size_t maxFilesPerFolder = 65536;
    /// How much of each plain file to have the system read ahead as its folder is scanned
    /// (0: none). A copy on another thread then finds the data of a cold disk in memory
    /// instead of waiting for each file in turn.
    std::size_t prefetchBytes = 0;
};

/// Walks the folders of one folder item depth first, reading each folder once and handing
/// them out one at a time. Links are never followed, a folder already on the way down (a
/// bind mount leading back) is not entered again, and the contents of a pseudo file system
/// are never read. It touches no observer and no result: all it learns travels in the
/// records. One thread at a time.
class FolderScan {
public:
    /// exclusions must outlive the scan.
    FolderScan(std::string item, ScanSettings settings, const Exclusions& exclusions,
               const std::atomic<bool>& cancelFlag);
    ~FolderScan();
    FolderScan(const FolderScan&) = delete;
    FolderScan& operator=(const FolderScan&) = delete;

    /// The next folder, or the end record (which may still carry exclusions) once the tree
    /// is done or the cancel flag or stop is seen. Called again after the end, returns
    /// another end. stop is set by whoever takes the records when it wants no more.
    FolderRecord next(const std::atomic<bool>& stop);

private:
    struct Frame;

    FolderRecord startItem(const std::atomic<bool>& stop);
    /// Fills record with the files of the folder read into entries and, when it has
    /// sub-folders, goes down into it. False when the scan is to stop half-way.
    bool takeFolder(std::unique_ptr<files::OpenFolder> folder, std::vector<files::FolderEntry>& entries,
                    FolderRecord& record, const std::atomic<bool>& stop);
    FolderRecord finish();
    bool stopped(const std::atomic<bool>& stop) const
    {
        return m_cancelFlag.load(std::memory_order_relaxed) || stop.load(std::memory_order_relaxed);
    }

    std::string m_item;
    ScanSettings m_settings;
    const Exclusions& m_exclusions;
    const std::atomic<bool>& m_cancelFlag;
    std::vector<Frame> m_stack; ///< the folders on the way down, with their sub-folders left
    std::vector<ScanExclusion> m_pending;
    std::size_t m_count = 0;
    bool m_started = false;
    bool m_done = false;
};

} // namespace stowmere::backup
