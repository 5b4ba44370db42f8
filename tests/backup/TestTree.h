// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "support/TempFolder.h"

#include <ctime>
#include <filesystem>
#include <string>

namespace stowmere::testing {

/// A fresh temporary folder, removed with everything in it when the object goes.
/// Relative paths given to its members are below that folder.
class TestTree {
public:
    const std::filesystem::path& root() const { return m_root.path(); }
    /// The full path of a relative one, as a string.
    std::string path(const std::string& relative) const;

    /// Writes a file (and its missing parent folders); returns its full path.
    std::string file(const std::string& relative, const std::string& contents);
    /// The same with a modification time in whole seconds.
    std::string file(const std::string& relative, const std::string& contents, std::time_t modified);
    /// Creates a folder and its parents; returns its full path.
    std::string folder(const std::string& relative);

    std::string read(const std::string& relative) const;
    bool exists(const std::string& relative) const;
    void setModified(const std::string& relative, std::time_t seconds, long nanoseconds = 0) const;
    /// Names of the entries of a folder whose names start with prefix.
    std::size_t countStartingWith(const std::string& relativeFolder, const std::string& prefix) const;

private:
    TempFolder m_root{"backup"};
};

} // namespace stowmere::testing
