// SPDX-License-Identifier: GPL-3.0-or-later
#include "backup/FolderScanner.h"

#include "platform/OpenFolder.h"

namespace stowmere::backup {

FolderScanner::FolderScanner(std::string item, const std::vector<std::string>& folders)
    : m_item(std::move(item))
    , m_folders(folders)
    , m_thread([this] { run(); })
{
}

FolderScanner::~FolderScanner()
{
    {
        const std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_changed.notify_all();
    m_thread.join();
}

FolderScan FolderScanner::scan(const std::string& folder)
{
    FolderScan result;
    const files::OpenFolder source(folder);
    try {
        result.entries = source.entries();
    } catch (const std::system_error& error) {
        result.error = error.code();
        result.errorText = error.what();
        return result;
    }
    result.status.resize(result.entries.size());
    for (std::size_t i = 0; i < result.entries.size(); ++i) {
        if (result.entries[i].kind == files::EntryKind::File)
            result.status[i] = source.statusOf(result.entries[i].name);
    }
    return result;
}

FolderScan FolderScanner::next()
{
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [this] { return !m_ready.empty(); });
    FolderScan result = std::move(m_ready.front());
    m_ready.pop_front();
    lock.unlock();
    m_changed.notify_all();
    return result;
}

void FolderScanner::run()
{
    for (const std::string& rel : m_folders) {
        {
            std::unique_lock lock(m_mutex);
            m_changed.wait(lock, [this] { return m_stop || m_ready.size() < kLookAhead; });
            if (m_stop)
                return;
        }
        FolderScan result;
        try {
            result = scan(m_item + rel);
        } catch (const std::exception& error) {
            // Out of memory, most likely: the copy of this folder reports it.
            result.error = std::make_error_code(std::errc::not_enough_memory);
            result.errorText = error.what();
        }
        {
            const std::lock_guard lock(m_mutex);
            m_ready.push_back(std::move(result));
        }
        m_changed.notify_all();
    }
}

} // namespace stowmere::backup
