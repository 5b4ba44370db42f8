// SPDX-License-Identifier: GPL-3.0-or-later
#include "TempFolder.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <unistd.h>

namespace stowmere::cli::test {

TempFolder::TempFolder()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "stowmere-cli-test.XXXXXX").string();
    if (!::mkdtemp(pattern.data()))
        throw std::runtime_error("mkdtemp failed");
    m_root = pattern;
}

TempFolder::~TempFolder()
{
    std::error_code ignored;
    std::filesystem::remove_all(m_root, ignored);
}

std::string TempFolder::path(const std::string& relative) const
{
    return relative.empty() ? m_root.string() : (m_root / relative).string();
}

std::string TempFolder::file(const std::string& relative, const std::string& contents) const
{
    const std::filesystem::path full = m_root / relative;
    std::filesystem::create_directories(full.parent_path());
    std::ofstream(full, std::ios::binary | std::ios::trunc) << contents;
    return full.string();
}

std::string TempFolder::sparseFile(const std::string& relative, std::size_t size) const
{
    const std::string full = file(relative, "");
    std::filesystem::resize_file(full, size);
    return full;
}

std::string TempFolder::folder(const std::string& relative) const
{
    std::filesystem::create_directories(m_root / relative);
    return path(relative);
}

bool TempFolder::exists(const std::string& relative) const { return std::filesystem::exists(m_root / relative); }

std::string TempFolder::read(const std::string& relative) const
{
    std::ifstream in(m_root / relative, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::vector<std::byte> TempFolder::bytes(const std::string& relative) const
{
    const std::string text = read(relative);
    std::vector<std::byte> result(text.size());
    std::transform(text.begin(), text.end(), result.begin(), [](char c) { return static_cast<std::byte>(c); });
    return result;
}

std::vector<std::string> TempFolder::names(const std::string& relativeFolder) const
{
    std::vector<std::string> result;
    for (const auto& entry : std::filesystem::directory_iterator(m_root / relativeFolder))
        result.push_back(entry.path().filename().string());
    std::sort(result.begin(), result.end());
    return result;
}

} // namespace stowmere::cli::test
