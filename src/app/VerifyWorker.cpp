// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/VerifyWorker.h"

#include <QMetaObject>

#include <exception>

namespace stowmere::app {

/// The verification's side: hands the figures to the context's thread, at most one call
/// waiting in its queue at a time, the latest figure winning, so that reading many small
/// copies never floods the window's event loop.
class VerifyWorker::Reporter final : public backup::VerifyObserver {
public:
    Reporter(Callbacks callbacks, QObject* context)
        : m_callbacks(std::make_shared<Callbacks>(std::move(callbacks))), m_context(context)
    {
    }

    void totals(std::uint64_t files, std::uint64_t bytes) override
    {
        (void)files;
        QMetaObject::invokeMethod(
            m_context,
            [callbacks = m_callbacks, bytes] {
                if (callbacks->onTotal)
                    callbacks->onTotal(bytes);
            },
            Qt::QueuedConnection);
    }

    void progress(std::uint64_t bytes, const std::string& path) override
    {
        if (path != m_lastPath) {
            m_lastPath = path;
            ++m_state->files;
        }
        m_state->latest = bytes;
        if (m_state->pending.exchange(true))
            return;
        QMetaObject::invokeMethod(
            m_context,
            [state = m_state, callbacks = m_callbacks] {
                state->pending = false;
                if (callbacks->onBytesRead)
                    callbacks->onBytesRead(state->latest.load(), state->files.load());
            },
            Qt::QueuedConnection);
    }

private:
    struct State {
        std::atomic<std::uint64_t> latest{0};
        std::atomic<std::uint64_t> files{0};
        std::atomic<bool> pending{false};
    };
    std::shared_ptr<Callbacks> m_callbacks;
    QObject* m_context;
    std::string m_lastPath; // the verification's thread only
    std::shared_ptr<State> m_state = std::make_shared<State>();
};

VerifyWorker::VerifyWorker(backup::VerifySettings settings, std::atomic<bool>& cancelFlag,
                           Callbacks callbacks, QObject* context)
    : m_cancelFlag(cancelFlag), m_reporter(std::make_unique<Reporter>(std::move(callbacks), context))
{
    m_thread = std::make_unique<WorkerThread>(
        QStringLiteral("VerifyThread"),
        [this, settings = std::move(settings)] {
            try {
                m_result = backup::verify(settings, *m_reporter, m_cancelFlag);
            } catch (const std::exception& error) {
                m_error = error.what();
            }
        },
        [this] { m_cancelFlag = true; });
    connect(m_thread.get(), &WorkerThread::finished, this, &VerifyWorker::finished);
}

VerifyWorker::~VerifyWorker() = default;

void VerifyWorker::stop()
{
    m_thread->stop();
}

void VerifyWorker::start()
{
    m_thread->start();
}

} // namespace stowmere::app
