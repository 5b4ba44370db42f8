// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/FileQueries.h"

#include <string>

namespace stowmere::files {

/// A folder held open so that many entries of it can be looked at without walking the
/// whole path again for each one. A folder that cannot be opened still answers, through
/// the full paths.
class OpenFolder {
public:
    explicit OpenFolder(std::string path);
    ~OpenFolder();
    OpenFolder(const OpenFolder&) = delete;
    OpenFolder& operator=(const OpenFolder&) = delete;

    /// The status of the entry name (links followed), as statusOf(path + "/" + name).
    FileStatus statusOf(const std::string& name) const;

private:
    std::string m_path;
    int m_fd = -1;
};

} // namespace stowmere::files
