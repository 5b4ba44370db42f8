// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/OpenFolder.h"

#include "platform/Paths.h"

#include <array>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace stowmere::files {

OpenFolder::OpenFolder(std::string path, Purpose purpose) : m_path(std::move(path))
{
    const int access = purpose == Purpose::List ? O_RDONLY : O_PATH | O_NOFOLLOW;
    m_fd.reset(::open(m_path.c_str(), access | O_DIRECTORY | O_CLOEXEC));
    if (!m_fd)
        m_openError = errno;
}

OpenFolder::OpenFolder(const OpenFolder& parent, const std::string& name, Purpose purpose)
    : m_path(parent.path())
{
    // The parent's path as given, so that a caller can cut it off the front again.
    if (m_path.empty() || m_path.back() != paths::kSeparator)
        m_path += paths::kSeparator;
    m_path += name;
    const int access = purpose == Purpose::List ? O_RDONLY : O_PATH;
    m_fd.reset(parent.m_fd ? ::openat(parent.m_fd.get(), name.c_str(), access | O_DIRECTORY | O_CLOEXEC)
                           : ::open(m_path.c_str(), access | O_DIRECTORY | O_CLOEXEC));
    if (!m_fd)
        m_openError = errno;
}

std::vector<FolderEntry> OpenFolder::entries() const
{
    if (!m_fd)
        throw std::system_error(m_openError, std::generic_category(), "Cannot read folder " + m_path);
    if (m_listed && ::lseek(m_fd.get(), 0, SEEK_SET) != 0)
        throw std::system_error(errno, std::generic_category(), "Cannot read folder " + m_path);

    // Read straight from the descriptor: the C library's directory stream would first
    // stat the folder again, once for every folder of a tree.
    alignas(dirent64) std::array<char, std::size_t{32} * 1024> buffer;
    std::vector<FolderEntry> result;
    for (;;) {
        const ssize_t got = ::getdents64(m_fd.get(), buffer.data(), buffer.size());
        if (got == 0)
            break;
        if (got < 0) {
            if (errno == EINTR)
                continue;
            throw std::system_error(errno, std::generic_category(), "Cannot read folder " + m_path);
        }
        for (ssize_t at = 0; at < got;) {
            const auto* entry = reinterpret_cast<const dirent64*>(buffer.data() + at);
            at += entry->d_reclen;
            const char* name = entry->d_name;
            if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0)
                continue;
            FolderEntry item{name, EntryKind::Other};
            // The entry type saves a stat for plain files and folders; links, and file
            // systems that do not fill it in, need one to learn what they lead to.
            switch (entry->d_type) {
            case DT_REG:
                item.kind = EntryKind::File;
                break;
            case DT_DIR:
                item.kind = EntryKind::Folder;
                break;
            case DT_LNK:
                item.link = true;
                [[fallthrough]];
            case DT_UNKNOWN: {
                struct stat info {};
                if (entry->d_type == DT_UNKNOWN &&
                    ::fstatat(m_fd.get(), name, &info, AT_SYMLINK_NOFOLLOW) == 0)
                    item.link = S_ISLNK(info.st_mode);
                item.kind = ::fstatat(m_fd.get(), name, &info, 0) == 0 ? statusFromStat(info).kind
                                                                       : EntryKind::Missing;
                break;
            }
            default:
                break;
            }
            result.push_back(std::move(item));
        }
    }
    m_listed = true;
    return result;
}

std::optional<FileIdentity> OpenFolder::identity() const
{
    const FileStatus folder = status();
    if (folder.kind == EntryKind::Missing)
        return std::nullopt;
    return folder.identity;
}

FileStatus OpenFolder::status() const
{
    struct stat info {};
    if (!m_fd || ::fstat(m_fd.get(), &info) != 0)
        return {};
    return statusFromStat(info);
}

FileStatus OpenFolder::statusOf(const std::string& name) const
{
    if (!m_fd)
        return files::statusOf(paths::join(m_path, name));
    struct stat info {};
    if (::fstatat(m_fd.get(), name.c_str(), &info, 0) != 0)
        return {};
    return statusFromStat(info);
}

FileStatus OpenFolder::entryStatus(const std::string& name) const
{
    struct stat info {};
    const int result = m_fd ? ::fstatat(m_fd.get(), name.c_str(), &info, AT_SYMLINK_NOFOLLOW)
                            : ::lstat(paths::join(m_path, name).c_str(), &info);
    if (result != 0)
        return {};
    return statusFromStat(info);
}

void OpenFolder::prefetch(const std::string& name, std::size_t bytes) const
{
    if (!m_fd)
        return;
    // Non-blocking, in case the entry has been replaced by a pipe since it was listed: the
    // flag does nothing for a plain file.
    const UniqueFd file(::openat(m_fd.get(), name.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (file)
        ::posix_fadvise(file.get(), 0, static_cast<off_t>(bytes), POSIX_FADV_WILLNEED);
}

} // namespace stowmere::files
