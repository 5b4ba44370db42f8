// SPDX-License-Identifier: GPL-3.0-or-later
#include "backup/SharedFolderCopy.h"

#include "backup/PathText.h"
#include "platform/Paths.h"

namespace stowmere::backup {

SharedFolderCopy::SharedFolderCopy(std::string sourceFolder, std::string targetFolder, FolderHandle target,
                                   std::span<SharedFile> files, std::uint64_t sizeLimit,
                                   const std::atomic<bool>& cancel)
    : m_sourceFolder(std::move(sourceFolder)), m_targetFolder(std::move(targetFolder)),
      m_target(std::move(target)), m_files(files), m_sizeLimit(sizeLimit), m_cancel(cancel)
{
}

bool SharedFolderCopy::copyNext(DestinationWriter& writer)
{
    for (;;) {
        const std::size_t index = m_next.fetch_add(1);
        if (index >= m_files.size())
            return false;
        SharedFile& file = m_files[index];
        if (!file.shared)
            continue;
        copy(file, writer);
        file.done.store(true);
        file.done.notify_all();
        return true;
    }
}

SharedFile& SharedFolderCopy::await(std::size_t index, DestinationWriter& writer)
{
    SharedFile& file = m_files[index];
    while (!file.done.load()) {
        if (copyNext(writer))
            continue;
        // The other thread has it: wait for its copy.
        file.done.wait(false);
    }
    return file;
}

void SharedFolderCopy::copy(SharedFile& file, DestinationWriter& writer)
{
    try {
        file.source = paths::join(m_sourceFolder, file.name);
        file.target = paths::join(m_targetFolder, file.name);
        if (stopping()) {
            file.skipped = true;
            return;
        }
        WriteRequest request;
        request.folder = m_target;
        request.name = std::string(file.name);
        request.source = file.source;
        request.link = file.link;
        request.digest = !file.link;
        if (!file.link) {
            request.progress = [&](std::uint64_t done, std::uint64_t size) {
                file.progress.emplace_back(done, size);
                return !m_cancel.load();
            };
            request.sizeLimit = m_sizeLimit;
        }
        file.outcome = writer.write(std::move(request));
        // A destination that cannot take one file will not take the next either: the run
        // stops there, and the other thread should not try.
        if (file.outcome.status == files::CopyOutcome::Status::DestinationFailed)
            stop();
    } catch (...) {
        file.error = std::current_exception();
        stop();
    }
}

CopyHelper::CopyHelper(std::vector<std::unique_ptr<DestinationWriter>> writers)
    : m_writers(std::move(writers))
{
    for (const auto& writer : m_writers) {
        try {
            m_threads.emplace_back([this, &writer] { work(*writer); });
        } catch (const std::system_error&) {
            // Fewer threads copy as surely, if slower.
            if (m_threads.empty())
                throw;
            break;
        }
    }
}

CopyHelper::~CopyHelper()
{
    stopThreads();
}

void CopyHelper::stopThreads()
{
    {
        const std::lock_guard lock(m_mutex);
        m_quit = true;
    }
    m_changed.notify_all();
    for (std::thread& thread : m_threads)
        thread.join();
}

void CopyHelper::share(SharedFolderCopy& files)
{
    {
        const std::lock_guard lock(m_mutex);
        m_shared = &files;
        ++m_generation;
    }
    m_changed.notify_all();
}

void CopyHelper::release()
{
    std::unique_lock lock(m_mutex);
    m_shared = nullptr;
    m_changed.wait(lock, [this] { return m_busy == 0; });
}

void CopyHelper::work(DestinationWriter& writer)
{
    std::unique_lock lock(m_mutex);
    std::uint64_t done = 0;
    for (;;) {
        m_changed.wait(lock, [&] { return m_quit || (m_shared != nullptr && m_generation != done); });
        if (m_quit)
            return;
        SharedFolderCopy* files = m_shared;
        done = m_generation;
        ++m_busy;
        lock.unlock();
        while (files->copyNext(writer)) {
        }
        lock.lock();
        --m_busy;
        m_changed.notify_all();
    }
}

} // namespace stowmere::backup
