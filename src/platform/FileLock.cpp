// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/FileLock.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <system_error>
#include <thread>
#include <unistd.h>

namespace stowmere::files {

std::optional<FileLock> FileLock::acquire(const std::string& path, std::chrono::milliseconds timeout)
{
    UniqueFd fd(::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600));
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

bool FileLock::recordHolder(std::string_view word)
{
    if (!m_fd)
        return false;
    const std::string line = std::string(word) + '\n';
    // A word cut short has no line end, and holderOf reads no word without one.
    return ::ftruncate(m_fd.get(), 0) == 0 &&
           ::pwrite(m_fd.get(), line.data(), line.size(), 0) == static_cast<ssize_t>(line.size());
}

std::string FileLock::holderOf(const std::string& path)
{
    const UniqueFd fd(::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (!fd)
        return {};
    char buffer[32];
    const ssize_t got = ::pread(fd.get(), buffer, sizeof buffer, 0);
    if (got <= 0)
        return {};
    std::string word(buffer, static_cast<std::size_t>(got));
    const std::size_t end = word.find('\n');
    if (end == std::string::npos)
        return {};
    word.resize(end);
    // Only a word: anything else in the file is not a holder's record.
    for (const char c : word)
        if (c < 'a' || c > 'z')
            return {};
    return word;
}

} // namespace stowmere::files
