// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QThread>

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <utility>

namespace stowmere::app {

/// Calls from a worker thread that wait for work done on the user-interface thread, with a
/// way out: once released, every call waiting and every later one returns at once with its
/// fallback answer. The owner of the worker releases the calls before it waits for the
/// thread, so the two threads can never end up waiting for each other.
class UiCalls : public std::enable_shared_from_this<UiCalls> {
public:
    static std::shared_ptr<UiCalls> create() { return std::shared_ptr<UiCalls>(new UiCalls); }

    /// Runs work on context's thread and returns its answer; fallback when released first.
    template <typename Result, typename Work> Result ask(QObject* context, Work work, Result fallback)
    {
        if (QThread::currentThread() == context->thread())
            return work();
        // The answer outlives this call: a released call returns while the work may still
        // be running on the other thread.
        auto answer = std::make_shared<std::optional<Result>>();
        if (!runAndWait(context, [answer, work = std::move(work)] { *answer = work(); }))
            return fallback;
        return **answer;
    }

    /// Runs work on context's thread and waits until it is done or the calls are released.
    void tell(QObject* context, std::function<void()> work)
    {
        if (QThread::currentThread() == context->thread())
            work();
        else
            runAndWait(context, std::move(work));
    }

    /// From the user-interface thread: every waiting and later call returns now, and work
    /// not yet started is dropped.
    void release();
    bool released() const;

private:
    UiCalls() = default;
    /// True when work ran, false when the calls were released first.
    bool runAndWait(QObject* context, std::function<void()> work);

    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_released = false;
};

} // namespace stowmere::app
