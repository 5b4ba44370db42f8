// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/FileQueries.h"
#include "platform/FolderListing.h"

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

namespace stowmere::backup {

/// One source folder as read ahead: its entries and, for each file among them, its status.
struct FolderScan {
    std::vector<files::FolderEntry> entries;
    std::vector<files::FileStatus> status; ///< same index as entries; only files are looked at
    std::error_code error;                 ///< the folder could not be read
    std::string errorText;
};

/// Reads the source folders of a tree a few folders ahead of the copy, on a thread of its
/// own. An incremental run over an unchanged tree does nothing but look at files, half of
/// them in the source; this moves that half off the copying thread. Folders are handed
/// out in list order; the scanner stops reading when it is destroyed.
class FolderScanner {
public:
    FolderScanner(std::string item, const std::vector<std::string>& folders);
    ~FolderScanner();
    FolderScanner(const FolderScanner&) = delete;
    FolderScanner& operator=(const FolderScanner&) = delete;

    /// The scan of the next folder of the list; waits until it has been read.
    FolderScan next();

    /// Reads one folder.
    static FolderScan scan(const std::string& folder);

private:
    void run();

    static constexpr std::size_t kLookAhead = 16;

    const std::string m_item;
    const std::vector<std::string>& m_folders;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<FolderScan> m_ready;
    bool m_stop = false;
    std::thread m_thread;
};

} // namespace stowmere::backup
