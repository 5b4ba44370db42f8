// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/WorkerThread.h"

#include <QThread>

namespace stowmere::app {

WorkerThread::WorkerThread(const QString& name, std::function<void()> job, std::function<void()> cancel)
    : m_cancel(std::move(cancel)), m_thread(QThread::create(std::move(job)))
{
    m_thread->setObjectName(name);
    // Emitted on the job's thread; receivers on the user-interface thread get it queued.
    connect(m_thread.get(), &QThread::finished, this, &WorkerThread::finished);
}

WorkerThread::~WorkerThread()
{
    stop();
}

void WorkerThread::start()
{
    m_thread->start();
}

void WorkerThread::stop()
{
    if (m_cancel)
        m_cancel();
    m_thread->wait();
}

bool WorkerThread::isRunning() const
{
    return m_thread->isRunning();
}

} // namespace stowmere::app
