// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/WholeFile.h"

#include "platform/UniqueFd.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace stowmere::files {
namespace {

std::string reasonOf(int error)
{
    return error == 0 ? std::string("not a regular file") : std::string(std::strerror(error));
}

} // namespace

ReadError::ReadError(const std::string& path, int error)
    : std::runtime_error("Cannot read " + path + ": " + reasonOf(error)), m_error(error),
      m_reason(reasonOf(error))
{
}

bool ReadError::missing() const
{
    return m_error == ENOENT || m_error == ENOTDIR;
}

std::string readWholeFile(const std::string& path)
{
    // O_NONBLOCK: a FIFO would otherwise hold the open until a writer comes, for ever;
    // the fstat below refuses it before any read.
    const UniqueFd fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (!fd)
        throw ReadError(path, errno);
    struct stat info {};
    if (::fstat(fd.get(), &info) != 0)
        throw ReadError(path, errno);
    if (S_ISDIR(info.st_mode))
        throw ReadError(path, EISDIR);
    if (!S_ISREG(info.st_mode))
        throw ReadError(path, 0);
    std::string data;
    data.reserve(static_cast<std::size_t>(info.st_size));
    char chunk[65536];
    for (;;) {
        const ssize_t count = ::read(fd.get(), chunk, sizeof chunk);
        if (count < 0) {
            if (errno == EINTR)
                continue;
            throw ReadError(path, errno);
        }
        if (count == 0)
            return data;
        data.append(chunk, static_cast<std::size_t>(count));
    }
}

} // namespace stowmere::files
