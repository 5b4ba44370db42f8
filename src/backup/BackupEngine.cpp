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
#include <stdexcept>
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
    m_descent.clear();
    const files::OpenFolder folder(item);
    if (const auto identity = folder.identity())
        m_descent.push_back(*identity);
    CollectSubFolders(folder, item);
    m_descent.clear();
}

void BackupEngine::CollectSubFolders(const files::OpenFolder& folder, const std::string& root)
{
    std::vector<files::FolderEntry> entries;
    try {
        entries = folder.entries();
    } catch (const std::system_error&) {
        // Such a folder adds no sub-folders; copying its files fails and says why.
        return;
    }
    for (const files::FolderEntry& entry : entries) {
        if (entry.kind != files::EntryKind::Folder)
            continue;
        const files::OpenFolder sub(joinName(folder.path(), entry.name));
        const auto identity = sub.identity();
        // A link back to a folder on the way down would make the list endless.
        if (identity && std::find(m_descent.begin(), m_descent.end(), *identity) != m_descent.end())
            continue;
        m_folderList->push_back(sub.path().substr(root.size()));
        // A folder that cannot be opened is listed all the same, so that its copy reports it.
        if (!identity)
            continue;
        m_descent.push_back(*identity);
        CollectSubFolders(sub, root);
        m_descent.pop_back();
    }
}

void BackupEngine::CopyFolderTree(const std::string& item, const std::string& base)
{
    if (!m_folderList)
        return;
    const std::size_t count = m_folderList->size();
    // An incremental run mostly compares; reading the source ahead on a second thread
    // halves what is left on this one. Without a thread the folders are read one by one.
    std::unique_ptr<FolderScanner> scanner;
    if (m_settings.incremental && count > 1) {
        try {
            scanner = std::make_unique<FolderScanner>(item, *m_folderList);
        } catch (const std::system_error&) {
        }
    }
    for (std::size_t n = 0; n < count; ++n) {
        if (scanner) {
            FolderScan scan = scanner->next();
            copyFolderFiles(item, base, (*m_folderList)[n], &scan);
        } else {
            copyFolderFiles(item, base, (*m_folderList)[n], nullptr);
        }
        if (cancelled())
            return;
    }
}

void BackupEngine::CopyFolderFiles(const std::string& item, const std::string& base, const std::string& rel)
{
    copyFolderFiles(item, base, rel, nullptr);
}

void BackupEngine::copyFolderFiles(const std::string& item, const std::string& base, const std::string& rel,
                                   FolderScan* scanned)
{
    try {
        const std::string source = item + rel;
        const std::string target = m_dest + paths::kSeparator + base + rel;
        // Mostly it exists already; a folder that really cannot be made shows up as the
        // failure of the first file copied into it.
        files::makeFolder(target);
        std::optional<files::OpenFolder> sourceFolder;
        std::vector<files::FolderEntry> entries;
        if (scanned) {
            if (scanned->error)
                throw std::runtime_error(scanned->errorText);
            entries = std::move(scanned->entries);
        } else {
            sourceFolder.emplace(source);
            entries = sourceFolder->entries();
        }
        // An incremental run looks at two files for each one it copies; held open, the
        // target folder spares it walking the full path every time.
        std::optional<files::OpenFolder> targetFolder;
        if (m_settings.incremental)
            targetFolder.emplace(target, files::OpenFolder::Purpose::LookUp);
        for (std::size_t i = 0; i < entries.size(); ++i) {
            const files::FolderEntry& entry = entries[i];
            if (entry.kind != files::EntryKind::File)
                continue;
            const bool skip = m_settings.incremental
                && isUpToDate(targetFolder->statusOf(entry.name), [&] {
                       return scanned ? scanned->status[i] : sourceFolder->statusOf(entry.name);
                   });
            if (!skip)
                CopyOneFile(joinName(source, entry.name), joinName(target, entry.name));
            if (cancelled())
                return;
        }
    } catch (const std::exception& error) {
        showError(error.what());
    }
}

void BackupEngine::FreeFolderList()
{
    m_folderList.reset();
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
