// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "app/WorkerThread.h"
#include "backup/Verifier.h"

#include <QObject>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace stowmere::app {

/// Owns the thread of one verification for as long as it exists. The total the manifest
/// records and the bytes read so far reach onTotal and onBytesRead on the thread of
/// context; finished is emitted there at the end. Destroying the worker sets the cancel
/// flag and waits for the thread, which stops between reads.
class VerifyWorker final : public QObject {
    Q_OBJECT

public:
    struct Callbacks {
        std::function<void(std::uint64_t bytes)> onTotal;
        /// Bytes read so far, and how many files (copies, and sources) were opened.
        std::function<void(std::uint64_t bytes, std::uint64_t files)> onBytesRead;
    };

    VerifyWorker(backup::VerifySettings settings, std::atomic<bool>& cancelFlag, Callbacks callbacks,
                 QObject* context);
    ~VerifyWorker() override;
    VerifyWorker(const VerifyWorker&) = delete;
    VerifyWorker& operator=(const VerifyWorker&) = delete;

    void start();
    /// Sets the cancel flag and waits until the verification has stopped.
    void stop();

    /// Read once finished was emitted: what the verification found, and an unexpected
    /// error that stopped it (empty when none).
    const backup::VerifyResult& result() const { return m_result; }
    const std::string& error() const { return m_error; }

signals:
    void finished();

private:
    class Reporter;

    std::atomic<bool>& m_cancelFlag;
    std::unique_ptr<Reporter> m_reporter;
    backup::VerifyResult m_result;
    std::string m_error;
    std::unique_ptr<WorkerThread> m_thread;
};

} // namespace stowmere::app
