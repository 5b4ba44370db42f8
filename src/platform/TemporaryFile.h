// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/UniqueFd.h"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <system_error>
#include <vector>

namespace stowmere::files {

/// A file written beside the file it will replace (or in a folder of its own on the same
/// file system), which receives the final name only when complete, so that a crash, a full
/// disk or a cancelled copy never leaves half a file under the real name.
///
/// Where the file system allows, the file has no name at all while it is written
/// (O_TMPFILE): a process killed at any moment leaves nothing behind. Elsewhere it is
/// named kPrefix followed by eight letters or digits, made exclusively, so it never takes
/// the place of another file. removeLeftovers clears such names from a folder that holds
/// nothing else of anyone's.
class TemporaryFile {
public:
    static constexpr std::string_view kPrefix = ".stowmere-tmp-";
    static constexpr std::size_t kSuffixLength = 8;

    /// Remembers which file systems refuse unnamed files, so that a copier does not ask
    /// again for each of thousands of files. One per thread.
    class Support {
    public:
        bool refusesUnnamed(std::uint64_t device) const;
        void noteRefusal(std::uint64_t device);

    private:
        std::vector<std::uint64_t> m_refusing;
    };

    TemporaryFile() = default;
    ~TemporaryFile();
    TemporaryFile(TemporaryFile&& other) noexcept;
    TemporaryFile& operator=(TemporaryFile&& other) noexcept;
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;

    /// Creates a temporary file in folder, open for writing, with the permission bits
    /// mode (less the umask). support may be null; device is the folder's device number
    /// and only used with support. Fails with the reason when no file can be created.
    static TemporaryFile create(const std::string& folder, mode_t mode, std::error_code& error,
                                Support* support = nullptr, std::uint64_t device = 0);
    /// The same in the open folder folderFd, which must stay open while the file lives.
    static TemporaryFile createIn(int folderFd, mode_t mode, std::error_code& error,
                                  Support* support = nullptr, std::uint64_t device = 0);

    bool valid() const { return m_fd.valid(); }
    int fd() const { return m_fd.get(); }
    /// True when the file has no name yet.
    bool unnamed() const { return m_name.empty(); }

    /// Closes the file, reporting any write error the file system kept back until then.
    std::error_code close();

    /// Gives the file the name target, replacing what target names (a link there is
    /// replaced, not followed). Afterwards nothing is left to remove. On failure the file
    /// stays temporary and goes with the object; target is untouched.
    std::error_code commit(const std::string& target);

    /// Gives a file made by createIn the entry name of its folder. When something stands
    /// under that name, beforeReplace is called once the file is complete under a
    /// temporary name and just before it takes the name over; its error leaves everything
    /// as it was. It may move the old entry away itself (then the name is simply taken).
    std::error_code commitAt(const std::string& name,
                             const std::function<std::error_code()>& beforeReplace = {});
    /// commitAt into the entry name of another open folder on the same file system: the
    /// file, written in a folder of its own, moves into place in one rename.
    std::error_code commitInto(int targetFolderFd, const std::string& name,
                               const std::function<std::error_code()>& beforeReplace = {});

    /// Whether name is one a temporary file gets: the prefix and exactly eight letters or
    /// digits.
    static bool isTemporaryName(std::string_view name);

    /// A fresh temporary name in folder (not created).
    static std::string freshName(const std::string& folder);

    /// Removes every temporary file left in folder by a writer that was killed. Returns how
    /// many were removed; a folder that cannot be read has none.
    static std::size_t removeLeftovers(const std::string& folder);

private:
    TemporaryFile(UniqueFd fd, int folderFd, std::string folder, std::string name)
        : m_fd(std::move(fd)), m_folderFd(folderFd), m_folder(std::move(folder)), m_name(std::move(name))
    {
    }
    static TemporaryFile createAt(int folderFd, const std::string& where, mode_t mode, std::error_code& error,
                                  Support* support, std::uint64_t device);
    void discard() noexcept;
    /// Names the unnamed file with a fresh temporary name in its folder.
    std::error_code nameTemporarily();

    UniqueFd m_fd;
    int m_folderFd = -100; ///< AT_FDCWD, or the open folder of createIn (not owned)
    std::string m_folder;  ///< the folder's path; "." with createIn
    std::string m_name;    ///< path of a named temporary file (relative to m_folderFd); empty while unnamed
    bool m_done = false;
};

} // namespace stowmere::files
