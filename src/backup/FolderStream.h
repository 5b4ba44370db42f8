// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "backup/FolderScan.h"

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

namespace stowmere::backup {

/// Hands out the records of a folder scan in the order the scan makes them: either each
/// one made when it is taken (inline), or made ahead on a second thread into a queue
/// bounded by the records' weight, so that reading and looking at folders overlaps with
/// copying them while memory stays flat whatever the size of the tree.
///
/// The second thread is owned here: it is stopped and joined when the stream goes, on every
/// way out of the taker, and a full queue never keeps it from stopping. Whatever the scan
/// throws comes out of take() on the taker's thread, in its place in the order.
class FolderStream {
public:
    /// Makes the next record; told through stop when the taker wants no more.
    using Producer = std::function<FolderRecord(const std::atomic<bool>& stop)>;

    /// ahead: scan on a second thread, at most maxWeightAhead ahead of the taker (a single
    /// heavier record still passes). Falls back to inline when no thread can be started.
    FolderStream(Producer producer, bool ahead, std::size_t maxWeightAhead);
    ~FolderStream();
    FolderStream(const FolderStream&) = delete;
    FolderStream& operator=(const FolderStream&) = delete;

    /// The next record; waits for it when the scan is behind. After the end record, every
    /// call returns an end record again.
    FolderRecord take();

    /// Whether a second thread scans ahead.
    bool ahead() const { return m_thread.joinable(); }

private:
    FolderRecord produce();
    void scanAhead();

    Producer m_producer;
    std::size_t m_maxWeight;
    std::atomic<bool> m_stop{false};
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<FolderRecord> m_queue;
    std::size_t m_weight = 0;
    bool m_ended = false; ///< the taker has had the end record
    std::thread m_thread;
};

} // namespace stowmere::backup
