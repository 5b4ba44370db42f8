// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "backup/BackupEngine.h"
#include "backup/Destination.h"

#include <atomic>
#include <cstdint>
#include <ctime>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace stowmere::backup {

/// What to copy back from a set's destination.
struct RestoreRequest {
    std::string destination;        ///< the set's Backup To Folder, as stored
    std::vector<std::string> items; ///< the set's items, as listed
    std::vector<std::string> paths; ///< original paths of files or folders to restore
    /// Restore into this folder instead of the original places.
    std::optional<std::string> to;
    /// Restore the tree as the last run at or before this time (UTC seconds) left it.
    std::optional<std::time_t> at;
    /// Replace files that are there and differ from the copy restored.
    bool overwrite = false;
};

struct RestoreResult {
    std::uint64_t restored = 0; ///< files and links copied back
    std::uint64_t same = 0;     ///< already there as they are in the backup
    /// Files that are there and differ from their copy, left as they are (no overwrite).
    std::vector<std::string> kept;
    /// Copies that could not be read, with the reason.
    std::vector<NotBackedUp> unreadable;
    /// Paths with no current copy, restored from the newest version a run kept of them
    /// (a run stopped between keeping the old copy and placing the new one leaves that),
    /// each with the name of that run's folder.
    std::vector<std::pair<std::string, std::string>> fromVersions;
    /// Runs after the moment restored (with at) that kept no record of what they added:
    /// files they added come back as if they had been there.
    std::vector<std::string> unrecordedRuns;
    /// A place that could not be written: the restore stopped there.
    bool writeFailed = false;
    std::string failure;
    bool cancelled = false;
    /// What the places restored to could not hold of the owners, attributes and ACLs: a
    /// line for each part and place.
    std::vector<std::string> notKept;
};

/// A restore that cannot start: a path no item of the set holds, a path whose copy is
/// missing, or one whose copy shares its place with another item's without --to.
class RestoreRefusal : public std::runtime_error {
    using std::runtime_error::runtime_error;
};

/// Told how a restore goes, from the thread that runs it.
class RestoreObserver {
public:
    virtual ~RestoreObserver() = default;
    virtual void restoring(const std::string& copy, const std::string& target)
    {
        static_cast<void>(copy);
        static_cast<void>(target);
    }
    /// Between the chunks of one copy: bytes done of its size.
    virtual void progress(const std::string& copy, std::uint64_t done, std::uint64_t size)
    {
        static_cast<void>(copy);
        static_cast<void>(done);
        static_cast<void>(size);
    }
    /// A file is back; count so far.
    virtual void restored(std::uint64_t count) { static_cast<void>(count); }
};

/// Copies files and folders back from a destination, each copy through a temporary file
/// that takes its name only when complete, with its times and permission bits. Holds the
/// destination's run lock, so no backup moves a copy away meanwhile. Throws RestoreRefusal
/// before anything is written when a path cannot be restored as asked. The cancel flag is
/// seen between files and between the chunks of a large one.
RestoreResult restore(const RestoreRequest& request, RestoreObserver& observer, std::atomic<bool>& cancel);

/// One kept version of a file: the run folder that kept it, and the file.
struct KeptVersion {
    std::string stamp;    ///< the run folder's name
    std::time_t run = 0;  ///< the run's start, UTC
    std::string relative; ///< below the destination
    std::string original; ///< where the file came from; empty when no item of the set holds it
    std::string path;     ///< the kept file
    std::uint64_t size = 0;
    timespec modified{};
};

/// The versions kept in a destination, oldest run first; with a path, only those of that
/// file or of the files in that folder (an original path, as a restore takes it).
std::vector<KeptVersion> keptVersions(const std::string& destination, const std::vector<std::string>& items,
                                      const std::string& path = {});

/// The destination at location (a set's Backup To Folder as the engine uses it; shown in
/// messages), opened to read copies. A server that cannot be reached, or a local folder
/// that cannot be read, throws RestoreRefusal with the reason (host, folder, the server's
/// words).
std::unique_ptr<Destination> openCopies(const std::string& location, const std::string& shown);

} // namespace stowmere::backup
