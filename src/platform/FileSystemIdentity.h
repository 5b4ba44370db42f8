// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace stowmere::files {

/// Which file system a path lies on, in terms that survive a reboot and a re-plug: a backup
/// drive keeps its UUID when it comes back under another device number, and a destination
/// whose drive is not mounted falls through to the file system below, which has another.
struct FileSystemIdentity {
    /// "uuid:<UUID>" where /dev/disk/by-uuid names the device, else "fsid:<hex>" from
    /// statfs, else "dev:<major>:<minor>" for file systems that report no fsid (tmpfs).
    std::string key;
    /// Where that file system is mounted, from /proc/self/mountinfo; where the mount table
    /// does not show it (a chroot, some containers), the highest folder above the path on
    /// the same device.
    std::string mountPoint;

    friend bool operator==(const FileSystemIdentity&, const FileSystemIdentity&) = default;
};

/// A file system as its user knows it.
struct FileSystemDescription {
    /// Where it is mounted now (the shortest of its mount points).
    std::string mountPoint;
    /// Its label, from /dev/disk/by-label; empty when it has none.
    std::string label;
    /// Its UUID, from /dev/disk/by-uuid; empty when it has none.
    std::string uuid;
};

/// The mounted file system with this identity key (FileSystemIdentity::key), or none when
/// no mounted file system has it: a drive that is not connected now.
std::optional<FileSystemDescription> describeFileSystem(const std::string& key);

/// The identity of the file system that holds path (which must exist). On failure returns
/// nothing and sets error to what failed, with the path.
std::optional<FileSystemIdentity> identifyFileSystem(const std::string& path, std::string& error);

/// The mount point of the mount with device number major:minor that holds canonicalPath,
/// read from a mountinfo text (the longest matching mount point wins, so a bind mount or
/// a mount over a mount resolves to the innermost one). Empty when none matches.
std::string mountPointFromMountInfo(const std::string& mountInfo, unsigned major, unsigned minor,
                                    const std::string& canonicalPath);

/// The highest folder at or above canonicalPath (which must exist) that lies on the same
/// device: the mount point as the folders themselves tell it, without a mount table.
std::string highestFolderOnSameDevice(const std::string& canonicalPath);

/// The mount points of a mountinfo text that lie strictly below canonicalPath (a mount on
/// the path itself is not below it).
std::vector<std::string> mountPointsBelow(const std::string& mountInfo, const std::string& canonicalPath);

} // namespace stowmere::files
