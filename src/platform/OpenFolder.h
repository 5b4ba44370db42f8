// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/FileQueries.h"
#include "platform/FolderListing.h"
#include "platform/UniqueFd.h"

#include <optional>
#include <string>
#include <vector>

namespace stowmere::files {

/// A folder held open so that its entries can be listed and looked at without walking
/// the whole path again for each one.
class OpenFolder {
public:
    enum class Purpose {
        List, ///< entries() will be called
        /// only statusOf(): opened without read access to the folder, and never through a
        /// link standing under its own name (a copy's folder replaced by one)
        LookUp
    };

    explicit OpenFolder(std::string path, Purpose purpose = Purpose::List);
    /// The entry name of an open parent folder, looked up from the parent rather than
    /// along the whole path again.
    OpenFolder(const OpenFolder& parent, const std::string& name, Purpose purpose = Purpose::List);
    OpenFolder(const OpenFolder&) = delete;
    OpenFolder& operator=(const OpenFolder&) = delete;

    bool isOpen() const { return m_fd.valid(); }
    const std::string& path() const { return m_path; }
    /// The folder's descriptor, -1 when it could not be opened.
    int fd() const { return m_fd.get(); }
    /// Why the folder could not be opened; 0 when it is open.
    int openError() const { return m_openError; }

    /// Every entry except "." and "..", hidden ones included, in the order the file system
    /// returns them. Throws std::system_error naming the folder when it cannot be read.
    std::vector<FolderEntry> entries() const;

    /// The identity of the folder itself; none when it could not be opened.
    std::optional<FileIdentity> identity() const;

    /// The status of the folder itself; kind Missing when it could not be opened.
    FileStatus status() const;

    /// The status of the entry name (links followed), as statusOf(path + "/" + name); goes
    /// through the full path when the folder could not be opened.
    FileStatus statusOf(const std::string& name) const;

    /// The status of the entry name itself: a link is reported as a link (kind Other,
    /// link set), not as what it leads to.
    FileStatus entryStatus(const std::string& name) const;

    /// Asks the system to start reading the first bytes of the plain file name into memory
    /// and returns at once, so that a copy made a moment later on another thread finds
    /// the data there instead of waiting for the disk. Does nothing when it cannot.
    void prefetch(const std::string& name, std::size_t bytes) const;

private:
    std::string m_path;
    UniqueFd m_fd;
    int m_openError = 0;
    mutable bool m_listed = false; ///< a second listing has to rewind first
};

} // namespace stowmere::files
