// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/UniqueFd.h"

#include <chrono>
#include <optional>
#include <string>
#include <string_view>

namespace stowmere::files {

/// An advisory exclusive lock (flock) on a lock file, held as long as the object lives.
/// Locks are per open file: two FileLocks on one path exclude each other even inside one
/// process, and the kernel drops the lock when the process dies, so a crash never leaves a
/// stale lock behind. The lock file itself is created (0600) when missing and never removed
/// (removing it would let two holders lock two different files).
class FileLock {
public:
    /// Takes the lock on path, waiting up to timeout for another holder to let go (zero:
    /// one try). None when it is still held by then. Throws std::system_error naming the
    /// file when the lock file cannot be created or opened.
    static std::optional<FileLock> acquire(const std::string& path, std::chrono::milliseconds timeout);

    FileLock(FileLock&&) noexcept = default;
    FileLock& operator=(FileLock&&) noexcept = default;

    const std::string& path() const { return m_path; }
    /// Writes one word into the lock file ("backup", "restore"), so that whoever finds the
    /// lock taken can say what holds it. Best effort: a lock file that cannot be written
    /// still locks. Whether the word was written.
    bool recordHolder(std::string_view word);
    /// The word the holder of the lock file at path recorded; empty when there is none or
    /// the file cannot be read. Never follows a link and never blocks.
    static std::string holderOf(const std::string& path);
    /// Lets go of the lock before the object goes.
    void release() { m_fd.reset(); }

private:
    FileLock(std::string path, UniqueFd fd) : m_path(std::move(path)), m_fd(std::move(fd)) {}

    std::string m_path;
    UniqueFd m_fd;
};

} // namespace stowmere::files
