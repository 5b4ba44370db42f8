// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <sys/stat.h>
#include <memory>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

namespace stowmere::files {

/// Copies single files the way a backup needs them: the old copy is never destroyed by a
/// failed or interrupted copy. Keeps what it learns between copies (file systems that
/// refuse to share blocks, the copy buffer), so one copier should serve a whole run.
/// Not thread-safe: one copier per thread.
class FileCopier {
public:
    FileCopier();
    ~FileCopier();
    FileCopier(const FileCopier&) = delete;
    FileCopier& operator=(const FileCopier&) = delete;

    /// Copies the regular file source (links followed) to target, replacing it. The data
    /// goes into a temporary file in the target's folder, which receives the source's
    /// permission bits and access and modification times (to the nanosecond) and is then
    /// renamed over target. On failure the temporary file is removed, target is left
    /// exactly as it was, and the reason is returned. The target folder must exist.
    std::error_code copy(const std::string& source, const std::string& target);

    /// Name prefix of the temporary files; nothing else in a target folder starts with it
    /// unless a copy was interrupted by a crash.
    static constexpr const char* kTemporaryPrefix = ".stowmere-";

private:
    int createTemporary(const std::string& folder, mode_t mode, std::string& name);
    std::uint64_t deviceOf(const std::string& folder, int fd);
    bool shareBlocks(int sourceFd, int targetFd, std::uint64_t sourceDevice, std::uint64_t targetDevice);
    std::error_code copyData(int sourceFd, int targetFd, std::uint64_t size);
    std::error_code readWriteCopy(int sourceFd, int targetFd);

    std::vector<std::pair<std::uint64_t, std::uint64_t>> m_noSharing; ///< device pairs that refused a reflink
    std::unique_ptr<char[]> m_buffer;
    std::string m_lastFolder; ///< target folder of the last copy, and its device
    std::uint64_t m_lastFolderDevice = 0;
    std::uint64_t m_random; ///< draws the temporary names
    mode_t m_umask;
};

} // namespace stowmere::files
