// SPDX-License-Identifier: GPL-3.0-or-later
#include "TempFolder.h"

#include "support/FileContents.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <system_error>
#include <unistd.h>

namespace stowmere::cli::test {

std::string TempFolder::path(const std::string& relative) const
{
    return relative.empty() ? m_folder.path().string() : (m_folder.path() / relative).string();
}

std::string TempFolder::file(const std::string& relative, const std::string& contents) const
{
    const std::filesystem::path full = m_folder.path() / relative;
    std::filesystem::create_directories(full.parent_path());
    stowmere::testing::writeText(full, contents);
    return full.string();
}

std::string TempFolder::sparseFile(const std::string& relative, std::size_t size) const
{
    const std::string full = file(relative, "");
    std::filesystem::resize_file(full, size);
    return full;
}

std::string TempFolder::allocatedFile(const std::string& relative, std::size_t size) const
{
    const std::string full = file(relative, "");
    const int fd = ::open(full.c_str(), O_WRONLY | O_CLOEXEC);
    const int error = fd < 0 ? errno : ::posix_fallocate(fd, 0, static_cast<off_t>(size));
    if (fd >= 0)
        ::close(fd);
    if (error != 0)
        throw std::system_error(error, std::generic_category(), "cannot allocate " + full);
    return full;
}

std::string TempFolder::folder(const std::string& relative) const
{
    std::filesystem::create_directories(m_folder.path() / relative);
    return path(relative);
}

bool TempFolder::exists(const std::string& relative) const
{
    return std::filesystem::exists(m_folder.path() / relative);
}

std::string TempFolder::read(const std::string& relative) const
{
    return stowmere::testing::readText(m_folder.path() / relative);
}

std::vector<std::byte> TempFolder::bytes(const std::string& relative) const
{
    return stowmere::testing::readBytes(m_folder.path() / relative);
}

std::vector<std::string> TempFolder::names(const std::string& relativeFolder) const
{
    std::vector<std::string> result;
    for (const auto& entry : std::filesystem::directory_iterator(m_folder.path() / relativeFolder))
        result.push_back(entry.path().filename().string());
    std::sort(result.begin(), result.end());
    return result;
}

} // namespace stowmere::cli::test
