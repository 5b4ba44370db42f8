// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "app/WorkerThread.h"
#include "backup/BackupEngine.h"
#include "backup/BackupObserver.h"

#include <atomic>
#include <memory>
#include <string>
#include <vector>

class QObject;

namespace stowmere::app {

class UiCalls;

/// Owns the thread of one backup run for as long as the run exists. The run's reports
/// reach `window` on the thread of `context`, one at a time and in order.
///
/// Destroying the worker stops the run without a deadlock: it sets the cancel flag, lets
/// every call the run is waiting on return at once (an item counts as unchecked, a box as
/// closed, the window's answer is no longer awaited), and then waits for the thread.
class BackupWorker {
public:
    BackupWorker(backup::BackupSettings settings, std::vector<std::string> items,
                 backup::BackupObserver& window, QObject* context, std::atomic<bool>& cancelFlag);
    ~BackupWorker();
    BackupWorker(const BackupWorker&) = delete;
    BackupWorker& operator=(const BackupWorker&) = delete;

    void start();
    /// Stops the run as destroying the worker does and waits for it; its result is then
    /// final. The thread's finished() is still emitted.
    void stop();
    /// Emits finished() once the run is over.
    WorkerThread& thread() { return *m_thread; }
    /// What the run did; read it once the thread has finished.
    const backup::BackupResult& result() const { return m_result; }

private:
    class Marshal;

    std::atomic<bool>& m_cancelFlag;
    std::shared_ptr<UiCalls> m_calls;
    std::unique_ptr<Marshal> m_marshal;
    backup::BackupResult m_result;
    std::unique_ptr<WorkerThread> m_thread;
};

} // namespace stowmere::app
