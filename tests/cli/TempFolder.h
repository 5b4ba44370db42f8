// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <filesystem>
#include <string>
#include <vector>

namespace stowmere::cli::test {

/// A fresh folder under the system's temporary folder, removed with its contents when the
/// object goes. Relative names given to its members are below it.
class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    std::string path(const std::string& relative = {}) const;
    /// Writes a file and its missing parent folders; returns its full path.
    std::string file(const std::string& relative, const std::string& contents) const;
    /// A file of size bytes that holds no data blocks (a hole), for large-copy tests.
    std::string sparseFile(const std::string& relative, std::size_t size) const;
    std::string folder(const std::string& relative) const;
    bool exists(const std::string& relative) const;
    std::string read(const std::string& relative) const;
    std::vector<std::byte> bytes(const std::string& relative) const;
    /// Names in a folder, sorted.
    std::vector<std::string> names(const std::string& relativeFolder) const;

private:
    std::filesystem::path m_root;
};

} // namespace stowmere::cli::test
