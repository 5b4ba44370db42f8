// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <sys/stat.h>

namespace stowmere::files {

/// What a path names once symbolic links are followed. Only regular files count as files
/// and only directories as folders: FIFOs, sockets and device nodes are Other, so nothing
/// ever opens them (a FIFO would block the reader forever).
enum class EntryKind { Missing, File, Folder, Other };

/// Identity of a file-system object, used to recognise a folder reached twice.
struct FileIdentity {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    friend bool operator==(const FileIdentity&, const FileIdentity&) = default;
};

/// Kind, size and last-write time in one query.
struct FileStatus {
    EntryKind kind = EntryKind::Missing;
    std::uint32_t links = 0; ///< names the entry has on its file system (hard links)
    timespec modified{};     ///< valid unless kind is Missing
    std::uint64_t size = 0;
    FileIdentity identity;
    mode_t mode = 0;   ///< permission bits (07777)
    bool link = false; ///< a symbolic link, as seen by a query that does not follow links
};

/// The status of the object the path names; kind Missing when it cannot be read.
FileStatus statusOf(const std::string& path);

/// The status described by a stat record.
FileStatus statusFromStat(const struct stat& info);

/// The kind of the object the path names, links followed.
EntryKind kindOf(const std::string& path);

/// A regular file, or a link to one.
bool isFile(const std::string& path);

/// A directory, or a link to one.
bool isFolder(const std::string& path);

/// The identity of the object the path names (links followed), or none when it cannot be read.
std::optional<FileIdentity> identityOf(const std::string& path);

/// The last-write time of the object the path names (links followed), or none when it
/// cannot be read.
std::optional<timespec> modificationTime(const std::string& path);

/// Creates one folder level. False when it could not be created, also when it exists.
bool makeFolder(const std::string& path);

/// Whether the open file or folder lies on a file system that only shows the kernel's
/// state (proc, sysfs, cgroup, debugfs and the like): its files have no data worth a backup
/// and some never end when read.
bool onPseudoFileSystem(int fd);

/// The same for a path (links followed); false when it cannot be looked at.
bool onPseudoFileSystem(const std::string& path);

/// The process's file-creation mask, read without changing it (umask() would, for a moment,
/// for every thread). When it cannot be read, every bit counts as masked.
mode_t processUmask();

} // namespace stowmere::files
