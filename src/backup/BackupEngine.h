// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "backup/BackupObserver.h"
#include "platform/FileCopier.h"
#include "platform/FileQueries.h"
#include "platform/OpenFolder.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace stowmere::backup {

struct BackupSettings {
    /// The backup set's "Backup To Folder" as stored; one trailing separator is dropped.
    std::string destination;
    /// Copy a file only when its copy in the destination is missing or older.
    bool incremental = false;
    /// Pause after a complete run before the progress display closes, so the user sees the
    /// full bar. Not made after a cancelled run.
    std::chrono::milliseconds finalPause{500};
    /// How the pause is waited; empty means std::this_thread::sleep_for. Tests record it.
    std::function<void(std::chrono::milliseconds)> sleep;
};

struct BackupResult {
    std::uint64_t filesCopied = 0;
    /// The run ended early because the cancel flag was set (by Cancel or a failed copy).
    bool cancelled = false;
    /// A file copy failed; the failure box was shown. failedFile is its source path.
    bool copyFailed = false;
    std::string failedFile;
    std::string failureReason;
    /// Error boxes shown for anything else (unreadable folders, unexpected errors).
    std::size_t otherErrors = 0;
    /// Checked items that were neither a file nor a folder when the run reached them.
    std::vector<std::string> missingItems;
};

/// Copies checked list items into a destination folder: files straight into it, folders
/// with their whole sub-tree into a sub-folder named after them. Synchronous: the caller
/// decides on which thread it runs. It reaches the window only through the observer and
/// the cancel flag, which the caller clears before the run and which Cancel may set at any
/// moment; the engine sets it itself when a copy fails.
class BackupEngine {
public:
    BackupEngine(BackupSettings settings, BackupObserver& observer, std::atomic<bool>& cancelFlag);
    ~BackupEngine();
    BackupEngine(const BackupEngine&) = delete;
    BackupEngine& operator=(const BackupEngine&) = delete;

    /// The whole run over the list's item texts, in list order. Each item is looked at only
    /// if it is checked when the run reaches it; the number of items is taken once.
    BackupResult RunBackup(const std::vector<std::string>& items);

    // The steps of a folder item, public so that each can be driven on its own.

    /// Starts the sub-folder list with the empty entry (the item folder itself) and
    /// appends every folder below item, depth first, each before the folders below it.
    /// Entries are relative to item: "/Sub", "/Sub/Deep", or "Sub", "Sub/Deep" when item
    /// ends with a separator. A folder already on the way down (a link loop) is left out.
    void BuildFolderList(const std::string& item);
    /// Re-creates every listed folder under destination/base and copies its files, in list
    /// order, until the cancel flag is set.
    void CopyFolderTree(const std::string& item, const std::string& base);
    /// Creates destination/base + rel (one level) and copies the files directly inside
    /// item + rel into it. Errors are shown and end only this folder.
    void CopyFolderFiles(const std::string& item, const std::string& base, const std::string& rel);
    /// Releases the sub-folder list.
    void FreeFolderList();
    /// The sub-folder list while a folder item is being copied, else null.
    const std::vector<std::string>* FolderList() const { return m_folderList.get(); }

    /// Copies source over target; counts and announces a success, and on failure shows the
    /// failure box and sets the cancel flag.
    void CopyOneFile(const std::string& source, const std::string& target);

    /// The base name a folder item's tree is copied under: its last component (the whole
    /// text for a name without separator), empty for the file-system root, for an item that
    /// ends with a separator and for a last component "." or "..".
    static std::string BaseName(const std::string& item);

    /// The destination as used for targets: one trailing separator removed, so the root
    /// "/" becomes "" and targets become "/name".
    const std::string& Dest() const { return m_dest; }

    const BackupResult& result() const { return m_result; }

private:
    /// A file of a listed folder, as seen when the list was built.
    struct ListedFile {
        std::string name;
        files::FileStatus status; ///< looked at only for an incremental run
    };
    /// Some 12 MiB of names and times at most, whatever the size of the tree.
    static constexpr std::size_t kMaxRememberedFiles = 150000;

    void CollectSubFolders(const files::OpenFolder& folder, const std::string& root, std::size_t index);
    void rememberFiles(const files::OpenFolder& folder, const std::vector<files::FolderEntry>& entries,
                       std::size_t index);
    void copyFolderFiles(const std::string& item, const std::string& base, const std::string& rel,
                         const std::vector<ListedFile>* listed);
    void copyFileItem(const std::string& item);
    void copyFolderItem(const std::string& item);
    /// The incremental rule: the target is a file whose stamp is not smaller than the source's.
    static bool isUpToDate(const files::FileStatus& target, const std::function<files::FileStatus()>& source);
    bool cancelled() const { return m_cancelFlag.load(); }
    void showError(const std::string& text);

    BackupSettings m_settings;
    BackupObserver& m_observer;
    std::atomic<bool>& m_cancelFlag;
    std::string m_dest;
    std::unique_ptr<std::vector<std::string>> m_folderList;
    /// The files of each listed folder, same index as the list; none for a folder that is
    /// read again when it is copied.
    std::vector<std::optional<std::vector<ListedFile>>> m_folderFiles;
    std::size_t m_rememberedFiles = 0;
    std::vector<files::FileIdentity> m_descent; ///< folders on the current way down
    files::FileCopier m_copier;
    BackupResult m_result;
};

/// Runs one backup: BackupEngine(settings, observer, cancelFlag).RunBackup(items).
BackupResult RunBackup(const BackupSettings& settings, const std::vector<std::string>& items,
                       BackupObserver& observer, std::atomic<bool>& cancelFlag);

} // namespace stowmere::backup
