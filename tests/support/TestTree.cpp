// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/TestTree.h"

#include "support/FileContents.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <stdexcept>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace fs = std::filesystem;

namespace stowmere::testing {

std::string TestTree::path(const std::string& relative) const
{
    return relative.empty() ? root().string() : (root() / relative).string();
}

std::string TestTree::file(const std::string& relative, const std::string& contents) const
{
    const fs::path full = root() / relative;
    fs::create_directories(full.parent_path());
    writeText(full, contents);
    return full.string();
}

std::string TestTree::file(const std::string& relative, const std::string& contents,
                           std::time_t modified) const
{
    const std::string full = file(relative, contents);
    setModified(relative, modified);
    return full;
}

std::string TestTree::sparseFile(const std::string& relative, std::size_t size) const
{
    const std::string full = file(relative, "");
    fs::resize_file(full, size);
    return full;
}

std::string TestTree::allocatedFile(const std::string& relative, std::size_t size) const
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

std::string TestTree::folder(const std::string& relative) const
{
    fs::create_directories(root() / relative);
    return path(relative);
}

bool TestTree::exists(const std::string& relative) const
{
    return fs::exists(fs::symlink_status(root() / relative));
}

std::string TestTree::read(const std::string& relative) const
{
    return readText(root() / relative);
}

std::vector<std::byte> TestTree::bytes(const std::string& relative) const
{
    return readBytes(root() / relative);
}

void TestTree::setModified(const std::string& relative, std::time_t seconds, long nanoseconds) const
{
    const timespec times[2] = {{seconds, nanoseconds}, {seconds, nanoseconds}};
    if (::utimensat(AT_FDCWD, path(relative).c_str(), times, 0) != 0)
        throw std::runtime_error("cannot set the time of " + relative);
}

std::vector<std::string> TestTree::names(const std::string& relativeFolder) const
{
    std::vector<std::string> result;
    for (const auto& entry : fs::directory_iterator(root() / relativeFolder))
        result.push_back(entry.path().filename().string());
    std::sort(result.begin(), result.end());
    return result;
}

std::size_t TestTree::countStartingWith(const std::string& relativeFolder, const std::string& prefix) const
{
    std::size_t count = 0;
    for (const auto& entry : fs::directory_iterator(root() / relativeFolder)) {
        if (entry.path().filename().string().starts_with(prefix))
            ++count;
    }
    return count;
}

} // namespace stowmere::testing
