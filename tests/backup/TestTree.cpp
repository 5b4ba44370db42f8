// SPDX-License-Identifier: GPL-3.0-or-later
#include "TestTree.h"

#include <atomic>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace stowmere::testing {

TestTree::TestTree()
{
    static std::atomic<int> serial{0};
    m_root = fs::temp_directory_path()
        / ("stowmere-backup-" + std::to_string(::getpid()) + "-" + std::to_string(serial++));
    fs::remove_all(m_root);
    fs::create_directories(m_root);
}

TestTree::~TestTree()
{
    std::error_code ignored;
    fs::remove_all(m_root, ignored);
}

std::string TestTree::path(const std::string& relative) const
{
    return (m_root / relative).string();
}

std::string TestTree::file(const std::string& relative, const std::string& contents)
{
    const fs::path full = m_root / relative;
    fs::create_directories(full.parent_path());
    std::ofstream out(full, std::ios::binary | std::ios::trunc);
    out << contents;
    if (!out)
        throw std::runtime_error("cannot write " + full.string());
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
    fs::create_directories(m_root / relative);
    return path(relative);
}

std::string TestTree::read(const std::string& relative) const
{
    std::ifstream in(m_root / relative, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

bool TestTree::exists(const std::string& relative) const
{
    return fs::exists(fs::symlink_status(m_root / relative));
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
    for (const auto& entry : fs::directory_iterator(m_root / relativeFolder)) {
        if (entry.path().filename().string().starts_with(prefix))
            ++count;
    }
    return count;
}

std::time_t localTime(int year, int month, int day, int hour, int minute, int second)
{
    std::tm local{};
    local.tm_year = year - 1900;
    local.tm_mon = month - 1;
    local.tm_mday = day;
    local.tm_hour = hour;
    local.tm_min = minute;
    local.tm_sec = second;
    local.tm_isdst = -1;
    return std::mktime(&local);
}

} // namespace stowmere::testing
