// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/FileLock.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <system_error>
#include <thread>

namespace stowmere::files {

std::optional<FileLock> FileLock::acquire(const std::string& path, std::chrono::milliseconds timeout)
{
    UniqueFd fd(::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644));
    if (!fd)
        throw std::system_error(errno, std::generic_category(), "Cannot open the lock file " + path);
    // flock has no time-out of its own; polling keeps the wait bounded without signals.
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    auto pause = std::chrono::milliseconds(5);
    for (;;) {
        if (::flock(fd.get(), LOCK_EX | LOCK_NB) == 0)
            return FileLock(path, std::move(fd));
        if (errno == EINTR)
            continue;
        if (errno != EWOULDBLOCK)
            throw std::system_error(errno, std::generic_category(), "Cannot lock " + path);
        const auto now = std::chrono::steady_clock::now();
        if (now >= deadline)
            return std::nullopt;
        std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(pause, deadline - now));
        pause = std::min(pause * 2, std::chrono::milliseconds(100));
    }
}

} // namespace stowmere::files
