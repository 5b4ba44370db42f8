// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <sys/stat.h>
#include <sys/types.h>
#include <system_error>
#include <utility>
#include <vector>

namespace stowmere::files {

/// What a copy keeps of an entry beyond its data, permission bits and times, as `cp -a`
/// keeps it: owner and group, and the extended attributes the process may carry over
/// (POSIX ACLs among them, as the system.posix_acl_* attributes the kernel keeps them in).
struct Metadata {
    uid_t owner = 0;
    gid_t group = 0;
    /// Name and value of each extended attribute kept.
    std::vector<std::pair<std::string, std::string>> attributes;
};

/// What could not be kept on a copy, each with the system's reason; an empty code means
/// that part was kept (or there was nothing to keep).
struct MetadataLoss {
    std::error_code owner;      ///< owner or group
    std::error_code attributes; ///< extended attributes other than ACLs
    std::error_code acls;       ///< POSIX ACLs

    bool any() const { return owner || attributes || acls; }
    /// Takes over the first reason of each part that this one has not lost yet.
    void add(const MetadataLoss& other);
};

/// Whether name is an extended attribute a copy carries over, for a process with or
/// without the privileges of root: "user." always, the ACLs always, "security." and
/// "trusted." (file capabilities among them) only as root, who alone may write them.
bool keepsAttribute(const std::string& name, bool privileged);

/// Whether name holds a POSIX ACL.
bool isAclAttribute(const std::string& name);

/// Reads the owner and group of info's entry and the attributes of the open file or folder
/// fd (opened for reading, not with O_PATH). False, with errno, when they cannot be listed.
bool readMetadata(int fd, const struct stat& info, Metadata& metadata);

/// The same for the entry at path, never following a link there (a link has its own
/// owner); info receives its status.
bool readMetadata(const std::string& path, Metadata& metadata, struct stat& info);

/// An owner and group an entry is known to have.
struct Ownership {
    uid_t owner = 0;
    gid_t group = 0;
};

/// Gives the open file fd the owner, group and attributes of metadata: owner and group
/// first (a change of owner drops file capabilities), then the attributes. Whatever cannot
/// be kept is reported, never failed: the data is what a copy is for. current, when known
/// (what a file just made has), spares the change of owner when it is already right.
MetadataLoss applyMetadata(int fd, const Metadata& metadata, const Ownership* current = nullptr);

/// Removes an access ACL the new file fd took from its folder's default ACL when metadata
/// has none of its own; true when one was removed (its bits then need setting again).
bool dropInheritedAcl(int fd, const Metadata& metadata);

/// The same for the entry name of the open folder folderFd (a folder, a link or a special
/// file), never following a link standing there; an empty name stands for the folder
/// itself (which may be opened with O_PATH). ACLs the entry has and metadata lacks (taken
/// from a default ACL where it was made) are removed: its bits are to be set after.
MetadataLoss applyMetadataAt(int folderFd, const std::string& name, const Metadata& metadata);

/// Set-uid and set-gid stay only on a copy whose owner and group are the source's: a copy
/// owned by someone else must not run as them.
inline mode_t safeModeBits(mode_t mode, const MetadataLoss& loss)
{
    return loss.owner ? mode & ~static_cast<mode_t>(S_ISUID | S_ISGID) : mode;
}

} // namespace stowmere::files
