// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/RestoreWorker.h"

#include <QMetaObject>

#include <exception>

namespace stowmere::app {

/// The restore's side: hands the count to the context's thread, at most once per turn of
/// its loop, the latest figure winning.
class RestoreWorker::Reporter final : public backup::RestoreObserver {
public:
    Reporter(std::function<void(std::uint64_t)> onRestored, QObject* context)
        : m_onRestored(std::make_shared<std::function<void(std::uint64_t)>>(std::move(onRestored))),
          m_context(context)
    {
    }

    void restored(std::uint64_t count) override
    {
        m_counter->latest = count;
        if (m_counter->pending.exchange(true))
            return;
        QMetaObject::invokeMethod(
            m_context,
            [counter = m_counter, onRestored = m_onRestored] {
                counter->pending = false;
                (*onRestored)(counter->latest.load());
            },
            Qt::QueuedConnection);
    }

private:
    struct Counter {
        std::atomic<std::uint64_t> latest{0};
        std::atomic<bool> pending{false};
    };
    std::shared_ptr<std::function<void(std::uint64_t)>> m_onRestored;
    QObject* m_context;
    std::shared_ptr<Counter> m_counter = std::make_shared<Counter>();
};

RestoreWorker::RestoreWorker(backup::RestoreRequest request, std::atomic<bool>& cancelFlag,
                             std::function<void(std::uint64_t)> onRestored, QObject* context)
    : m_cancelFlag(cancelFlag), m_reporter(std::make_unique<Reporter>(std::move(onRestored), context))
{
    m_thread = std::make_unique<WorkerThread>(
        QStringLiteral("RestoreThread"),
        [this, request = std::move(request)] {
            try {
                m_result = backup::restore(request, *m_reporter, m_cancelFlag);
            } catch (const backup::RestoreRefusal& refusal) {
                m_refusal = refusal.what();
            } catch (const std::exception& error) {
                m_error = error.what();
            }
        },
        [this] { m_cancelFlag = true; });
    connect(m_thread.get(), &WorkerThread::finished, this, &RestoreWorker::finished);
}

RestoreWorker::~RestoreWorker() = default;

void RestoreWorker::start()
{
    m_thread->start();
}

} // namespace stowmere::app
