// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <unistd.h>
#include <utility>

namespace stowmere::files {

/// Owns one file descriptor and closes it when it goes; -1 means none. The one owner type
/// for descriptors in the program, so that no error path can leak one.
class UniqueFd {
public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) noexcept : m_fd(fd) {}
    ~UniqueFd() { reset(); }
    UniqueFd(UniqueFd&& other) noexcept : m_fd(other.release()) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept
    {
        if (this != &other)
            reset(other.release());
        return *this;
    }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;

    int get() const noexcept { return m_fd; }
    bool valid() const noexcept { return m_fd >= 0; }
    explicit operator bool() const noexcept { return valid(); }

    /// Gives the descriptor up without closing it.
    int release() noexcept { return std::exchange(m_fd, -1); }
    /// Closes the owned descriptor, if any, and takes fd.
    void reset(int fd = -1) noexcept
    {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = fd;
    }
    /// Closes now and returns close's result, for writers that must see a deferred write
    /// error; 0 when nothing was owned.
    int close() noexcept
    {
        const int fd = release();
        return fd >= 0 ? ::close(fd) : 0;
    }

private:
    int m_fd = -1;
};

} // namespace stowmere::files
