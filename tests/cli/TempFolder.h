// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <filesystem>
#include <string>
#include <vector>

#include "support/TempFolder.h"

namespace stowmere::cli::test {

/// The shared temporary folder with a tree builder on top: relative names given to its
/// members are below the folder.
class TempFolder {
public:
    std::string path(const std::string& relative = {}) const;
    /// Writes a file and its missing parent folders; returns its full path.
    std::string file(const std::string& relative, const std::string& contents) const;
    /// A file of size bytes that holds no data blocks (a hole), for large-copy tests.
    std::string sparseFile(const std::string& relative, std::size_t size) const;
    /// A file of size bytes whose blocks are allocated but never written: made at once, yet
    /// read back as zeros like written data.
    std::string allocatedFile(const std::string& relative, std::size_t size) const;
    std::string folder(const std::string& relative) const;
    bool exists(const std::string& relative) const;
    std::string read(const std::string& relative) const;
    std::vector<std::byte> bytes(const std::string& relative) const;
    /// Names in a folder, sorted.
    std::vector<std::string> names(const std::string& relativeFolder) const;

private:
    stowmere::testing::TempFolder m_folder{"cli"};
};

} // namespace stowmere::cli::test
