// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/UiCalls.h"

#include <QMetaObject>

namespace stowmere::app {

void UiCalls::release()
{
    {
        const std::lock_guard lock(m_mutex);
        m_released = true;
    }
    m_changed.notify_all();
}

bool UiCalls::released() const
{
    const std::lock_guard lock(m_mutex);
    return m_released;
}

bool UiCalls::runAndWait(QObject* context, std::function<void()> work)
{
    auto done = std::make_shared<bool>(false); // guarded by m_mutex
    {
        const std::lock_guard lock(m_mutex);
        if (m_released)
            return false;
    }
    QMetaObject::invokeMethod(
        context,
        [self = shared_from_this(), done, work = std::move(work)] {
            if (self->released())
                return;
            work();
            {
                const std::lock_guard lock(self->m_mutex);
                *done = true;
            }
            self->m_changed.notify_all();
        },
        Qt::QueuedConnection);
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [&] { return *done || m_released; });
    return *done;
}

} // namespace stowmere::app
