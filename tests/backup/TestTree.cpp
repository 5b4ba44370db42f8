// SPDX-License-Identifier: GPL-3.0-or-later
#include "TestTree.h"

#include "support/FileContents.h"

#include <fcntl.h>
#include <stdexcept>
#include <sys/stat.h>

namespace fs = std::filesystem;

namespace stowmere::testing {

std::string TestTree::path(const std::string& relative) const
{
    return (root() / relative).string();
}

std::string TestTree::file(const std::string& relative, const std::string& contents)
{
    const fs::path full = root() / relative;
    fs::create_directories(full.parent_path());
    writeText(full, contents);
    return full.string();
}

std::string TestTree::file(const std::string& relative, const std::string& contents, std::time_t modified)
{
    const std::string full = file(relative, contents);
    setModified(relative, modified);
    return full;
}

std::string TestTree::folder(const std::string& relative)
{
    fs::create_directories(root() / relative);
    return path(relative);
}

std::string TestTree::read(const std::string& relative) const
{
    return readText(root() / relative);
}

bool TestTree::exists(const std::string& relative) const
{
    return fs::exists(fs::symlink_status(root() / relative));
}

void TestTree::setModified(const std::string& relative, std::time_t seconds, long nanoseconds) const
{
    const timespec times[2] = {{seconds, nanoseconds}, {seconds, nanoseconds}};
    if (::utimensat(AT_FDCWD, path(relative).c_str(), times, 0) != 0)
        throw std::runtime_error("cannot set the time of " + relative);
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
