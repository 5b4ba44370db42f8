// SPDX-License-Identifier: GPL-3.0-or-later
#include "backup/FolderStream.h"

#include <exception>
#include <system_error>
#include <utility>

namespace stowmere::backup {

FolderStream::FolderStream(Producer producer, bool ahead, std::size_t maxWeightAhead)
    : m_producer(std::move(producer)), m_maxWeight(maxWeightAhead)
{
    if (!ahead)
        return;
    try {
        m_thread = std::thread([this] { scanAhead(); });
    } catch (const std::system_error&) {
        // No thread to be had (a process at its limit): the same scan runs inline.
    }
}

FolderStream::~FolderStream()
{
    if (!m_thread.joinable())
        return;
    {
        const std::lock_guard lock(m_mutex);
        m_stop.store(true);
    }
    m_changed.notify_all();
    m_thread.join();
}

FolderRecord FolderStream::produce()
{
    try {
        return m_producer(m_stop);
    } catch (...) {
        FolderRecord failed;
        failed.end = true;
        failed.error = std::current_exception();
        return failed;
    }
}

void FolderStream::scanAhead()
{
    for (;;) {
        FolderRecord record = produce();
        const bool last = record.end;
        const std::size_t weight = record.weight();
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock,
                       [&] { return m_stop.load() || m_queue.empty() || m_weight + weight <= m_maxWeight; });
        if (m_stop.load())
            return;
        m_weight += weight;
        m_queue.push_back(std::move(record));
        lock.unlock();
        m_changed.notify_all();
        if (last)
            return;
    }
}

FolderRecord FolderStream::take()
{
    if (m_ended) {
        FolderRecord end;
        end.end = true;
        return end;
    }
    FolderRecord record;
    if (!m_thread.joinable()) {
        record = produce();
    } else {
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [&] { return !m_queue.empty(); });
        record = std::move(m_queue.front());
        m_queue.pop_front();
        m_weight -= record.weight();
        lock.unlock();
        m_changed.notify_all();
    }
    m_ended = record.end;
    return record;
}

} // namespace stowmere::backup
