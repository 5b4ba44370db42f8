// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/FolderListing.h"

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <system_error>

namespace stowmere::files {
namespace {

EntryKind kindFromMode(mode_t mode)
{
    if (S_ISREG(mode))
        return EntryKind::File;
    if (S_ISDIR(mode))
        return EntryKind::Folder;
    return EntryKind::Other;
}

class FolderHandle {
public:
    explicit FolderHandle(DIR* handle) : m_handle(handle) {}
    ~FolderHandle()
    {
        if (m_handle)
            ::closedir(m_handle);
    }
    FolderHandle(const FolderHandle&) = delete;
    FolderHandle& operator=(const FolderHandle&) = delete;
    DIR* get() const { return m_handle; }

private:
    DIR* m_handle;
};

} // namespace

std::vector<FolderEntry> listFolder(const std::string& folder)
{
    FolderHandle handle(::opendir(folder.c_str()));
    if (!handle.get())
        throw std::system_error(errno, std::generic_category(), "Cannot read folder " + folder);
    const int folderFd = ::dirfd(handle.get());

    std::vector<FolderEntry> entries;
    for (;;) {
        errno = 0;
        const dirent* entry = ::readdir(handle.get());
        if (!entry) {
            if (errno != 0)
                throw std::system_error(errno, std::generic_category(), "Cannot read folder " + folder);
            break;
        }
        const char* name = entry->d_name;
        if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0)
            continue;
        FolderEntry item{name, EntryKind::Missing};
        // The entry type saves a stat for plain files and folders; links and file systems
        // that do not fill it in need one to learn what they lead to.
        switch (entry->d_type) {
        case DT_REG:
            item.kind = EntryKind::File;
            break;
        case DT_DIR:
            item.kind = EntryKind::Folder;
            break;
        case DT_LNK:
        case DT_UNKNOWN: {
            struct stat info {};
            if (::fstatat(folderFd, name, &info, 0) == 0)
                item.kind = kindFromMode(info.st_mode);
            break;
        }
        default:
            item.kind = EntryKind::Other;
            break;
        }
        entries.push_back(std::move(item));
    }
    return entries;
}

} // namespace stowmere::files
