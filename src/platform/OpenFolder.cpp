// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/OpenFolder.h"

#include "platform/Paths.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace stowmere::files {

OpenFolder::OpenFolder(std::string path)
    : m_path(std::move(path))
    , m_fd(::open(m_path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_PATH))
{
}

OpenFolder::~OpenFolder()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

FileStatus OpenFolder::statusOf(const std::string& name) const
{
    if (m_fd < 0)
        return files::statusOf(paths::join(m_path, name));
    struct stat info {};
    if (::fstatat(m_fd, name.c_str(), &info, 0) != 0)
        return {};
    return statusFromStat(info);
}

} // namespace stowmere::files
