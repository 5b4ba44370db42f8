// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "support/TempFolder.h"

#include <cstddef>
#include <ctime>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace stowmere::testing {

/// A temporary tree of real files for a test: a fresh folder, removed with everything in
/// it when the object goes. Relative paths given to its members are below that folder;
/// each builder returns the full path of what it made.
class TestTree {
public:
    explicit TestTree(std::string_view tag = "tree") : m_root(tag) {}

    const std::filesystem::path& root() const { return m_root.path(); }
    /// The full path of a relative one (the root itself for an empty one), as a string.
    std::string path(const std::string& relative = {}) const;

    /// Writes a file and its missing parent folders.
    std::string file(const std::string& relative, const std::string& contents) const;
    /// The same with a modification time in whole seconds.
    std::string file(const std::string& relative, const std::string& contents, std::time_t modified) const;
    /// A file of size bytes that holds no data blocks (a hole), for large-copy tests.
    std::string sparseFile(const std::string& relative, std::size_t size) const;
    /// A file of size bytes whose blocks are allocated but never written: made at once, yet
    /// read back as zeros like written data.
    std::string allocatedFile(const std::string& relative, std::size_t size) const;
    /// Creates a folder and its parents.
    std::string folder(const std::string& relative) const;

    /// Whether the entry exists; a dangling link counts.
    bool exists(const std::string& relative) const;
    std::string read(const std::string& relative) const;
    std::vector<std::byte> bytes(const std::string& relative) const;
    void setModified(const std::string& relative, std::time_t seconds, long nanoseconds = 0) const;
    /// Names in a folder, sorted.
    std::vector<std::string> names(const std::string& relativeFolder) const;
    /// How many entries of a folder have names that start with prefix.
    std::size_t countStartingWith(const std::string& relativeFolder, const std::string& prefix) const;

private:
    TempFolder m_root;
};

} // namespace stowmere::testing
