// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "app/WorkerThread.h"
#include "backup/Restore.h"

#include <QObject>

#include <atomic>
#include <functional>
#include <memory>
#include <string>

namespace stowmere::app {

/// Owns the thread of one restore for as long as it exists. The count of files restored
/// reaches onRestored on the thread of context; finished is emitted there at the end.
/// Destroying the worker sets the cancel flag and waits for the thread, which stops
/// between files or between the chunks of a large one.
class RestoreWorker final : public QObject {
    Q_OBJECT

public:
    RestoreWorker(backup::RestoreRequest request, std::atomic<bool>& cancelFlag,
                  std::function<void(std::uint64_t)> onRestored, QObject* context);
    ~RestoreWorker() override;
    RestoreWorker(const RestoreWorker&) = delete;
    RestoreWorker& operator=(const RestoreWorker&) = delete;

    void start();

    /// Read once finished was emitted: what was restored, and a refusal or unexpected
    /// error that stopped the restore before or while it went (empty when none).
    const backup::RestoreResult& result() const { return m_result; }
    const std::string& refusal() const { return m_refusal; }
    const std::string& error() const { return m_error; }

signals:
    void finished();

private:
    class Reporter;

    std::atomic<bool>& m_cancelFlag;
    std::unique_ptr<Reporter> m_reporter;
    backup::RestoreResult m_result;
    std::string m_refusal;
    std::string m_error;
    std::unique_ptr<WorkerThread> m_thread;
};

} // namespace stowmere::app
