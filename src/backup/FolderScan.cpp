// SPDX-License-Identifier: GPL-3.0-or-later
#include "backup/FolderScan.h"

#include "backup/OwnNames.h"
#include "backup/PathText.h"
#include "platform/Paths.h"

#include <algorithm>
#include <fcntl.h>
#include <sys/stat.h>
#include <system_error>

namespace stowmere::backup {
namespace {

using files::EntryKind;
using files::FolderEntry;
using files::OpenFolder;

// The unit the page cache is counted in, for the weight of what a scan reads ahead.
constexpr std::size_t kPageBytes = 4096;

bool isFolderEntry(const FolderEntry& entry)
{
    return !entry.link && entry.kind == EntryKind::Folder;
}

/// Reads a folder's entries; the system's reason when it cannot.
std::optional<std::string> readEntries(const OpenFolder& folder, std::vector<FolderEntry>& entries)
{
    try {
        entries = folder.entries();
        return std::nullopt;
    } catch (const std::system_error& error) {
        return error.code().message();
    }
}

} // namespace

bool isFileEntry(const FolderEntry& entry)
{
    return entry.link || entry.kind == EntryKind::File || entry.kind == EntryKind::Other;
}

void lookAtSpecial(int folderFd, const FolderEntry& entry, ScannedFile& file)
{
    if (entry.link || entry.kind != EntryKind::Other)
        return;
    struct stat info {};
    if (::fstatat(folderFd, entry.name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0)
        return;
    file.status = files::statusFromStat(info);
    file.special = info.st_mode & S_IFMT;
    file.device = static_cast<std::uint64_t>(info.st_rdev);
}

/// A folder on the way down and the sub-folders of it still to be scanned.
struct FolderScan::Frame {
    std::unique_ptr<OpenFolder> folder;
    files::FileIdentity identity;
    std::vector<std::string> subFolders;
    std::size_t next = 0;
};

FolderScan::FolderScan(std::string item, ScanSettings settings, const Exclusions& exclusions,
                       const std::atomic<bool>& cancelFlag)
    : m_item(std::move(item)), m_settings(std::move(settings)), m_exclusions(exclusions),
      m_cancelFlag(cancelFlag)
{
}

FolderScan::~FolderScan() = default;

FolderRecord FolderScan::next(const std::atomic<bool>& stop)
{
    if (m_done)
        return finish();
    if (!m_started) {
        m_started = true;
        return startItem(stop);
    }
    while (!m_stack.empty()) {
        // A tree of millions of folders must not hold a cancel for minutes.
        if (stopped(stop))
            break;
        Frame& frame = m_stack.back();
        if (frame.next == frame.subFolders.size()) {
            m_stack.pop_back();
            continue;
        }
        const std::string& name = frame.subFolders[frame.next++];
        if (!m_exclusions.empty()) {
            std::string path = paths::join(frame.folder->path(), name);
            if (m_exclusions.excludes(std::string_view(path).substr(m_item.size()), true)) {
                m_pending.push_back({std::move(path)});
                continue;
            }
        }
        auto sub = std::make_unique<OpenFolder>(*frame.folder, name);
        const std::string& path = sub->path();
        const files::FileStatus status = sub->status();
        std::vector<FolderEntry> entries;
        std::optional<std::string> readError;
        bool pseudo = false;
        if (sub->isOpen()) {
            const auto& excluded = m_settings.excluded;
            if (std::find(excluded.begin(), excluded.end(), status.identity) != excluded.end())
                continue;
            // A mount of /proc or /sys inside the tree: its folder is made, its contents never
            // read. Only a change of device can lead onto another file system.
            pseudo = status.identity.device != frame.identity.device && files::onPseudoFileSystem(sub->fd());
            if (!pseudo) {
                readError = readEntries(*sub, entries);
                // The listing shows whether there is a tag at all, which spares opening one
                // in every folder.
                if (m_settings.honourCacheDirTag && !readError &&
                    std::any_of(
                        entries.begin(), entries.end(),
                        [](const FolderEntry& entry) { return entry.name == Exclusions::kCacheDirTag; }) &&
                    Exclusions::hasCacheDirTag(sub->fd())) {
                    m_pending.push_back({path});
                    continue;
                }
            }
            // A bind mount can still lead back to a folder on the way down.
            if (std::any_of(m_stack.begin(), m_stack.end(),
                            [&](const Frame& above) { return above.identity == status.identity; }))
                continue;
        }
        FolderRecord record;
        record.rel = path.substr(m_item.size());
        record.index = ++m_count;
        record.mode = status.mode;
        record.identity = status.identity;
        record.exclusions = std::move(m_pending);
        m_pending.clear();
        if (!sub->isOpen()) {
            record.skip = record.unreadable = true;
            record.unreadableReason = systemText(sub->openError());
            return record;
        }
        if (pseudo) {
            record.skip = true;
            return record;
        }
        if (readError) {
            record.skip = record.unreadable = true;
            record.unreadableReason = std::move(*readError);
            return record;
        }
        if (!takeFolder(std::move(sub), entries, record, stop))
            break;
        return record;
    }
    return finish();
}

FolderRecord FolderScan::startItem(const std::atomic<bool>& stop)
{
    auto folder = std::make_unique<OpenFolder>(m_item);
    const files::FileStatus status = folder->status();
    FolderRecord record;
    record.mode = status.mode;
    record.identity = status.identity;
    m_done = true; // unless the item can be read and has sub-folders
    if (!folder->isOpen()) {
        record.skip = record.unreadable = true;
        record.unreadableReason = systemText(folder->openError());
        return record;
    }
    if (files::onPseudoFileSystem(folder->fd())) {
        record.skip = record.unreadable = true;
        record.unreadableReason = kPseudoFileSystemReason;
        return record;
    }
    std::vector<FolderEntry> entries;
    if (std::optional<std::string> readError = readEntries(*folder, entries)) {
        record.skip = record.unreadable = true;
        record.unreadableReason = std::move(*readError);
        return record;
    }
    if (m_settings.leaveOutOwnNames) {
        // Their copies would stand where the destination keeps its versions, lock and
        // manifest.
        std::erase_if(entries, [&](const FolderEntry& entry) {
            if (!isOwnTopLevelName(entry.name))
                return false;
            record.exclusions.push_back({paths::join(m_item, entry.name), true});
            return true;
        });
    }
    if (!takeFolder(std::move(folder), entries, record, stop))
        return finish();
    m_done = m_stack.empty();
    return record;
}

bool FolderScan::takeFolder(std::unique_ptr<OpenFolder> folder, std::vector<FolderEntry>& entries,
                            FolderRecord& record, const std::atomic<bool>& stop)
{
    const auto fileCount =
        static_cast<std::size_t>(std::count_if(entries.begin(), entries.end(), isFileEntry));
    // Past the limit the folder is read again when it is copied, so memory stays flat.
    if (fileCount <= m_settings.maxFilesPerFolder) {
        std::vector<ScannedFile> listed;
        listed.reserve(fileCount);
        for (FolderEntry& entry : entries) {
            if (!isFileEntry(entry))
                continue;
            // Looking at the files of a large folder takes a while too.
            if (listed.size() % 1024 == 1023 && stopped(stop))
                return false;
            files::FileStatus status;
            if (m_settings.lookAtFiles && !entry.link && entry.kind == EntryKind::File)
                status = folder->entryStatus(entry.name);
            // No more read ahead for one folder than the scan may be ahead in all: a huge
            // folder must not fill the memory with data its copy reaches minutes later.
            const std::size_t pages = m_settings.prefetchBytes / kPageBytes;
            if (pages > 0 && !entry.link && entry.kind == EntryKind::File &&
                record.prefetchedPages + pages <= m_settings.maxFilesPerFolder) {
                folder->prefetch(entry.name, m_settings.prefetchBytes);
                record.prefetchedPages += pages;
            }
            ScannedFile& file = listed.emplace_back();
            lookAtSpecial(folder->fd(), entry, file);
            if (file.special == 0)
                file.status = status;
            file.name = std::move(entry.name);
            file.link = entry.link;
        }
        record.files = std::move(listed);
    }
    std::vector<std::string> subFolders;
    for (FolderEntry& entry : entries) {
        if (m_settings.keepOtherNames && !isFileEntry(entry))
            record.otherNames.push_back(entry.name);
        if (isFolderEntry(entry))
            subFolders.push_back(std::move(entry.name));
    }
    if (!subFolders.empty())
        m_stack.push_back({std::move(folder), record.identity, std::move(subFolders), 0});
    return true;
}

FolderRecord FolderScan::finish()
{
    m_done = true;
    m_stack.clear();
    FolderRecord end;
    end.end = true;
    end.index = m_count + 1;
    end.exclusions = std::move(m_pending);
    m_pending.clear();
    return end;
}

} // namespace stowmere::backup
