// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace stowmere::testing {

/// A fresh, empty folder below the system's temporary folder (or below parent), removed
/// with everything in it when the object goes. The tag becomes part of the name, so a
/// folder left behind by a crashed test tells which tests made it.
class TempFolder {
public:
    explicit TempFolder(std::string_view tag = "test");
    TempFolder(std::string_view tag, const std::filesystem::path& parent);
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::filesystem::path& path() const { return m_path; }
    std::string str() const { return m_path.string(); }

private:
    std::filesystem::path m_path;
};

} // namespace stowmere::testing
