// SPDX-License-Identifier: GPL-3.0-or-later
#include "backup/BackupEngine.h"

#include "backup/FailureReport.h"
#include "backup/ReverseText.h"
#include "platform/ModificationStamp.h"
#include "platform/OpenFolder.h"
#include "platform/Paths.h"

#include <algorithm>
#include <exception>
#include <optional>
#include <system_error>
#include <thread>

namespace stowmere::backup {
namespace {

bool endsWithSeparator(const std::string& path)
{
    return !path.empty() && path.back() == paths::kSeparator;
}

// Joins with one separator, none added when the folder already ends with one.
std::string joinName(const std::string& folder, const std::string& name)
{
    return endsWithSeparator(folder) ? folder + name : folder + paths::kSeparator + name;
}

} // namespace

BackupEngine::BackupEngine(BackupSettings settings, BackupObserver& observer, std::atomic<bool>& cancelFlag)
    : m_settings(std::move(settings))
    , m_observer(observer)
    , m_cancelFlag(cancelFlag)
    , m_dest(m_settings.destination)
{
    // Only one separator goes, even from the root: "/" becomes "", so that the targets
    // made by appending "/" + name come out as "/name".
    if (endsWithSeparator(m_dest))
        m_dest.pop_back();
}

BackupEngine::~BackupEngine() = default;

BackupResult BackupEngine::RunBackup(const std::vector<std::string>& items)
{
    m_result = {};
    const std::size_t count = items.size();
    bool stopped = false;
    for (std::size_t i = 0; i < count && !stopped; ++i) {
        if (!m_observer.isItemChecked(i))
            continue;
        try {
            // The previous item is unchecked here as well as after its own step, so a
            // failed item loses its check once a later checked item is reached.
            if (i > 0)
                m_observer.uncheckItem(i - 1);
            const std::string& item = items[i];
            // What the item is on disk decides how it is copied, not whether its name has
            // a dot: "My.Data" may be a folder and "Makefile" a file.
            switch (files::kindOf(item)) {
            case files::EntryKind::File:
                copyFileItem(item);
                break;
            case files::EntryKind::Folder:
                copyFolderItem(item);
                break;
            case files::EntryKind::Missing:
            case files::EntryKind::Other:
                m_result.missingItems.push_back(item);
                break;
            }
            m_observer.itemDone();
            if (cancelled()) {
                m_observer.closeProgress();
                m_result.cancelled = true;
                stopped = true;
                continue;
            }
            m_observer.uncheckItem(i);
        } catch (const std::exception& error) {
            showError(error.what());
        }
    }
    if (!stopped) {
        if (m_settings.sleep)
            m_settings.sleep(m_settings.finalPause);
        else
            std::this_thread::sleep_for(m_settings.finalPause);
        m_observer.closeProgress();
    }
    // Items that vanished are told once at the end rather than passed over in silence.
    if (!m_result.missingItems.empty())
        m_observer.showError(MissingItemsText(m_result.missingItems));
    return m_result;
}

void BackupEngine::copyFileItem(const std::string& item)
{
    const std::string target = m_dest + paths::kSeparator + paths::fileNamePart(item);
    if (m_settings.incremental && isUpToDate(files::statusOf(target), [&item] { return files::statusOf(item); }))
        return;
    CopyOneFile(item, target);
}

void BackupEngine::copyFolderItem(const std::string& item)
{
    if (!m_folderList)
        m_folderList = std::make_unique<std::vector<std::string>>();
    // The list must go whatever happens below, or the next folder item would inherit it.
    struct ListRelease {
        BackupEngine& engine;
        ~ListRelease() { engine.FreeFolderList(); }
    } release{*this};
    BuildFolderList(item);
    CopyFolderTree(item, BaseName(item));
}

std::string BackupEngine::BaseName(const std::string& item)
{
    if (paths::isRoot(item))
        return {};
    // The text after the last separator; empty when the item ends with one.
    const std::string reversed = ReverseText(item);
    const std::size_t separator = reversed.find(paths::kSeparator);
    std::string base = ReverseText(std::string_view(reversed).substr(0, separator));
    // "." and ".." name no folder of their own: a base of ".." would put the copy beside
    // the destination instead of inside it.
    if (base == "." || base == "..")
        return {};
    return base;
}

void BackupEngine::BuildFolderList(const std::string& item)
{
    if (!m_folderList)
        m_folderList = std::make_unique<std::vector<std::string>>();
    m_folderList->emplace_back();
    m_folderFiles.resize(m_folderList->size());
    m_descent.clear();
    const files::OpenFolder folder(item);
    if (const auto identity = folder.identity())
        m_descent.push_back(*identity);
    CollectSubFolders(folder, item, m_folderList->size() - 1);
    m_descent.clear();
}

void BackupEngine::CollectSubFolders(const files::OpenFolder& folder, const std::string& root, std::size_t index)
{
    std::vector<files::FolderEntry> entries;
    try {
        entries = folder.entries();
    } catch (const std::system_error&) {
        // Such a folder adds no sub-folders; copying its files fails and says why.
        return;
    }
    rememberFiles(folder, entries, index);
    for (const files::FolderEntry& entry : entries) {
        if (entry.kind != files::EntryKind::Folder)
            continue;
        const files::OpenFolder sub(joinName(folder.path(), entry.name));
        const auto identity = sub.identity();
        // A link back to a folder on the way down would make the list endless.
        if (identity && std::find(m_descent.begin(), m_descent.end(), *identity) != m_descent.end())
            continue;
        m_folderList->push_back(sub.path().substr(root.size()));
        m_folderFiles.emplace_back();
        // A folder that cannot be opened is listed all the same, so that its copy reports it.
        if (!identity)
            continue;
        m_descent.push_back(*identity);
        CollectSubFolders(sub, root, m_folderList->size() - 1);
        m_descent.pop_back();
    }
}

void BackupEngine::rememberFiles(const files::OpenFolder& folder, const std::vector<files::FolderEntry>& entries,
                                 std::size_t index)
{
    // The folder has just been read to find its sub-folders; keeping its files spares the
    // copy a second reading, and an incremental run the opening of the source folder.
    // Past the limit, folders are read again when they are copied, so memory stays flat.
    std::vector<ListedFile> files;
    for (const files::FolderEntry& entry : entries) {
        if (entry.kind != files::EntryKind::File)
            continue;
        if (m_rememberedFiles >= kMaxRememberedFiles)
            return;
        ++m_rememberedFiles;
        files.push_back({entry.name, m_settings.incremental ? folder.statusOf(entry.name) : files::FileStatus{}});
    }
    m_folderFiles[index] = std::move(files);
}

void BackupEngine::CopyFolderTree(const std::string& item, const std::string& base)
{
    if (!m_folderList)
        return;
    const std::size_t count = m_folderList->size();
    for (std::size_t n = 0; n < count; ++n) {
        const bool listed = n < m_folderFiles.size() && m_folderFiles[n];
        copyFolderFiles(item, base, (*m_folderList)[n], listed ? &*m_folderFiles[n] : nullptr);
        if (cancelled())
            return;
    }
}

void BackupEngine::CopyFolderFiles(const std::string& item, const std::string& base, const std::string& rel)
{
    copyFolderFiles(item, base, rel, nullptr);
}

void BackupEngine::copyFolderFiles(const std::string& item, const std::string& base, const std::string& rel,
                                   const std::vector<ListedFile>* listed)
{
    try {
        const std::string source = item + rel;
        const std::string target = m_dest + paths::kSeparator + base + rel;
        // An incremental run looks at two files for each one it copies; held open, the
        // folders spare it walking both full paths every time. A target folder that opens
        // exists already and needs no mkdir.
        std::optional<files::OpenFolder> targetFolder;
        if (m_settings.incremental)
            targetFolder.emplace(target, files::OpenFolder::Purpose::LookUp);
        if (!targetFolder || !targetFolder->isOpen()) {
            // A folder that really cannot be made shows up as the failure of the first
            // file copied into it.
            files::makeFolder(target);
            if (targetFolder)
                targetFolder.emplace(target, files::OpenFolder::Purpose::LookUp);
        }
        // A folder remembered from the listing may have gone since; that is told as the
        // folder that cannot be read, before its first copy, not as failed copies.
        bool sourceSeen = listed == nullptr;
        // Returns false once the run is to stop.
        const auto handle = [&](const std::string& name, const auto& sourceStatus) {
            const bool skip = m_settings.incremental && isUpToDate(targetFolder->statusOf(name), sourceStatus);
            if (!skip) {
                if (!sourceSeen) {
                    if (!files::isFolder(source))
                        throw std::system_error(std::make_error_code(std::errc::no_such_file_or_directory),
                                                "Cannot read folder " + source);
                    sourceSeen = true;
                }
                CopyOneFile(joinName(source, name), joinName(target, name));
            }
            return !cancelled();
        };
        if (listed) {
            for (const ListedFile& file : *listed) {
                if (!handle(file.name, [&file] { return file.status; }))
                    return;
            }
            return;
        }
        const files::OpenFolder sourceFolder(source);
        for (const files::FolderEntry& entry : sourceFolder.entries()) {
            if (entry.kind != files::EntryKind::File)
                continue;
            if (!handle(entry.name, [&] { return sourceFolder.statusOf(entry.name); }))
                return;
        }
    } catch (const std::exception& error) {
        showError(error.what());
    }
}

void BackupEngine::FreeFolderList()
{
    m_folderList.reset();
    m_folderFiles.clear();
    m_folderFiles.shrink_to_fit();
    m_rememberedFiles = 0;
}

bool BackupEngine::isUpToDate(const files::FileStatus& target, const std::function<files::FileStatus()>& source)
{
    if (target.kind != files::EntryKind::File)
        return false;
    const std::uint32_t targetStamp = files::packStamp(target.modified.tv_sec);
    // A target whose time cannot be packed cannot be shown to be up to date, so it is
    // copied again rather than left stale for good.
    if (targetStamp == files::kUnreadableStamp)
        return false;
    const files::FileStatus sourceStatus = source();
    const std::uint32_t sourceStamp = sourceStatus.kind == files::EntryKind::Missing
        ? files::kUnreadableStamp
        : files::packStamp(sourceStatus.modified.tv_sec);
    return targetStamp >= sourceStamp;
}

void BackupEngine::CopyOneFile(const std::string& source, const std::string& target)
{
    m_observer.copyingFile(source, target);
    const std::error_code error = m_copier.copy(source, target);
    if (!error) {
        ++m_result.filesCopied;
        m_observer.fileCopied(m_result.filesCopied);
        return;
    }
    const std::string folder = FolderPartOf(target);
    m_result.copyFailed = true;
    m_result.failedFile = source;
    m_result.failureReason = error.message();
    m_observer.showError(CopyFailureText(source, folder, GetFreeSpace(folder)));
    m_cancelFlag.store(true);
}

void BackupEngine::showError(const std::string& text)
{
    ++m_result.otherErrors;
    m_observer.showError(text);
}

BackupResult RunBackup(const BackupSettings& settings, const std::vector<std::string>& items,
                       BackupObserver& observer, std::atomic<bool>& cancelFlag)
{
    return BackupEngine(settings, observer, cancelFlag).RunBackup(items);
}

} // namespace stowmere::backup
