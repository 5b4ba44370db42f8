// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QString>

#include <functional>
#include <memory>

class QThread;

namespace stowmere::app {

/// Runs one job on a thread of its own and owns that thread for as long as it exists:
/// going (or stop()) cancels the job and waits for it, so a worker's thread never outlives
/// the objects its job uses. The job must return soon after its cancel function was
/// called. finished() is emitted once the job has returned, including after stop().
class WorkerThread final : public QObject {
    Q_OBJECT

public:
    /// name is the thread's name (seen in a debugger and in tests); cancel asks the job to
    /// return and may be called from the user-interface thread while the job runs.
    WorkerThread(const QString& name, std::function<void()> job, std::function<void()> cancel);
    ~WorkerThread() override;
    WorkerThread(const WorkerThread&) = delete;
    WorkerThread& operator=(const WorkerThread&) = delete;

    void start();
    /// Cancels the job and waits for it to return; does nothing more when it has. The
    /// results the job left are final afterwards.
    void stop();
    bool isRunning() const;

signals:
    void finished();

private:
    std::function<void()> m_cancel;
    std::unique_ptr<QThread> m_thread;
};

} // namespace stowmere::app
