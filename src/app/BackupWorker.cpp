// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/BackupWorker.h"

#include "app/UiCalls.h"

#include <QMetaObject>
#include <QObject>

#include <chrono>
#include <exception>
#include <thread>

namespace stowmere::app {

/// The run's side of the observer: forwards each report to the window's thread. The
/// reports the engine must have answered before it goes on wait for it; the others are
/// queued.
class BackupWorker::Marshal final : public backup::BackupObserver {
public:
    Marshal(backup::BackupObserver& window, QObject* context, std::shared_ptr<UiCalls> calls)
        : m_window(window), m_context(context), m_calls(std::move(calls))
    {
    }

    bool isItemChecked(std::size_t index) override
    {
        return m_calls->ask(
            m_context, [this, index] { return m_window.isItemChecked(index); }, false);
    }
    void uncheckItem(std::size_t index) override
    {
        m_calls->tell(m_context, [this, index] { m_window.uncheckItem(index); });
    }
    void fileCopied(std::uint64_t count) override
    {
        // However fast the files come, the window's counter is updated at most once per
        // turn of its event loop, and the latest figure always wins.
        m_counter->latest = count;
        if (m_counter->pending.exchange(true))
            return;
        QMetaObject::invokeMethod(
            m_context,
            [&window = m_window, counter = m_counter] {
                counter->pending = false;
                window.fileCopied(counter->latest.load());
            },
            Qt::QueuedConnection);
    }
    void totalsCounted(const backup::RunTotals& totals) override
    {
        QMetaObject::invokeMethod(
            m_context, [&window = m_window, totals] { window.totalsCounted(totals); }, Qt::QueuedConnection);
    }
    bool startWithoutSpace(std::uint64_t needed, std::uint64_t free, const std::string& folder) override
    {
        return m_calls->ask(
            m_context,
            [this, needed, free, folder] { return m_window.startWithoutSpace(needed, free, folder); }, false);
    }
    bool allowMassRemoval(const std::string& item, std::uint64_t files, std::uint64_t copies,
                          bool sourceEmpty) override
    {
        return m_calls->ask(
            m_context,
            [this, item, files, copies, sourceEmpty] {
                return m_window.allowMassRemoval(item, files, copies, sourceEmpty);
            },
            false);
    }
    void bytesCopied(std::uint64_t bytes) override
    {
        m_bytes->latest = bytes;
        if (m_bytes->pending.exchange(true))
            return;
        QMetaObject::invokeMethod(
            m_context,
            [&window = m_window, counter = m_bytes] {
                counter->pending = false;
                window.bytesCopied(counter->latest.load());
            },
            Qt::QueuedConnection);
    }
    void copyProgress(const std::string& source, std::uint64_t done, std::uint64_t size) override
    {
        // Told between the chunks of a large file; like the counters, at most once per turn
        // of the window's loop, the latest figure winning.
        m_inFlight->latest = done;
        if (m_inFlight->pending.exchange(true))
            return;
        QMetaObject::invokeMethod(
            m_context,
            [&window = m_window, counter = m_inFlight, source, size] {
                counter->pending = false;
                window.copyProgress(source, counter->latest.load(), size);
            },
            Qt::QueuedConnection);
    }
    void itemDone() override
    {
        QMetaObject::invokeMethod(
            m_context, [&window = m_window] { window.itemDone(); }, Qt::QueuedConnection);
    }
    void showError(const std::string& text) override
    {
        m_calls->tell(m_context, [this, text] { m_window.showError(text); });
    }
    void showInformation(const std::string& text) override
    {
        m_calls->tell(m_context, [this, text] { m_window.showInformation(text); });
    }
    void runComplete() override
    {
        // The full bar stays up a moment before the window closes, so the user sees it.
        // Waited here, on the run's thread, as the window's thread must stay live.
        std::this_thread::sleep_for(kFinalPause);
    }
    void closeProgress() override
    {
        // Queued counter updates reach the window before this call, so its figure is final.
        m_calls->tell(m_context, [this] { m_window.closeProgress(); });
    }

private:
    static constexpr std::chrono::milliseconds kFinalPause{500};

    struct Counter {
        std::atomic<std::uint64_t> latest{0};
        std::atomic<bool> pending{false};
    };

    backup::BackupObserver& m_window;
    QObject* m_context;
    std::shared_ptr<UiCalls> m_calls;
    std::shared_ptr<Counter> m_counter = std::make_shared<Counter>();
    std::shared_ptr<Counter> m_bytes = std::make_shared<Counter>();
    std::shared_ptr<Counter> m_inFlight = std::make_shared<Counter>();
};

BackupWorker::BackupWorker(backup::BackupSettings settings, std::vector<std::string> items,
                           backup::BackupObserver& window, QObject* context, std::atomic<bool>& cancelFlag)
    : m_cancelFlag(cancelFlag), m_calls(UiCalls::create()),
      m_marshal(std::make_unique<Marshal>(window, context, m_calls)),
      m_thread(std::make_unique<WorkerThread>(
          QStringLiteral("BackupThread"),
          [this, settings = std::move(settings), items = std::move(items)] {
              try {
                  m_result = backup::runBackup(settings, items, *m_marshal, m_cancelFlag);
              } catch (const std::exception& error) {
                  // The engine guards every item itself; this is the last line for what it
                  // cannot (an allocation failure, say). The progress window must not stay open.
                  m_marshal->showError(error.what());
                  m_marshal->closeProgress();
              }
          },
          [this] {
              m_cancelFlag = true;
              m_calls->release();
          }))
{
}

BackupWorker::~BackupWorker()
{
    stop();
}

void BackupWorker::stop()
{
    m_thread->stop();
}

void BackupWorker::start()
{
    m_thread->start();
}

} // namespace stowmere::app
