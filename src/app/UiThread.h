// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QMetaObject>
#include <QObject>
#include <QThread>

#include <type_traits>

namespace stowmere::app {

/// Runs work on context's thread and waits for it: directly when already there, else as a
/// blocking queued call. The caller must not be holding the user-interface thread waiting
/// for this thread, or both would wait for ever.
template <typename Work> auto runOnThreadOf(QObject* context, Work work)
{
    if (QThread::currentThread() == context->thread())
        return work();
    if constexpr (std::is_void_v<decltype(work())>) {
        QMetaObject::invokeMethod(context, work, Qt::BlockingQueuedConnection);
    } else {
        decltype(work()) answer{};
        QMetaObject::invokeMethod(
            context, [&] { answer = work(); }, Qt::BlockingQueuedConnection);
        return answer;
    }
}

} // namespace stowmere::app
