// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/WorkerThread.h"

#include <QSignalSpy>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

using stowmere::app::WorkerThread;

namespace {

/// A job that runs until it is cancelled, as a run on a slow disk does.
struct EndlessJob {
    std::atomic<bool> started{false};
    std::atomic<bool> cancelled{false};
    std::atomic<bool> returned{false};

    std::unique_ptr<WorkerThread> thread()
    {
        return std::make_unique<WorkerThread>(
            QStringLiteral("EndlessJob"),
            [this] {
                started = true;
                while (!cancelled)
                    std::this_thread::sleep_for(std::chrono::milliseconds(1));
                returned = true;
            },
            [this] { cancelled = true; });
    }
};

} // namespace

TEST(WorkerThread, GoingCancelsTheJobAndWaitsForIt)
{
    EndlessJob job;
    auto thread = job.thread();
    thread->start();
    while (!job.started)
        std::this_thread::yield();
    thread.reset();
    EXPECT_TRUE(job.cancelled);
    EXPECT_TRUE(job.returned) << "the thread outlived its owner";
}

TEST(WorkerThread, StopIsFinalAndFinishedStillReachesTheOwnersThread)
{
    EndlessJob job;
    auto thread = job.thread();
    QSignalSpy finished(thread.get(), &WorkerThread::finished);
    thread->start();
    thread->stop();
    EXPECT_TRUE(job.returned);
    EXPECT_FALSE(thread->isRunning());
    EXPECT_TRUE(finished.count() == 1 || finished.wait());
    EXPECT_EQ(finished.count(), 1);
    thread->stop(); // a second stop, and the destructor's, find nothing to wait for
}

TEST(WorkerThread, NeverStartedGoesWithoutWaiting)
{
    EndlessJob job;
    job.thread().reset();
    EXPECT_FALSE(job.started);
}
