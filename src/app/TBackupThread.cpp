// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/TBackupThread.h"

#include <exception>

namespace stowmere::app {

TBackupThread::TBackupThread(backup::BackupSettings settings, std::vector<std::string> items,
                             backup::BackupObserver& observer, std::atomic<bool>& cancelFlag, QObject* parent)
    : QThread(parent), m_settings(std::move(settings)), m_items(std::move(items)), m_observer(observer),
      m_cancelFlag(cancelFlag)
{
    setObjectName(QStringLiteral("TBackupThread"));
}

void TBackupThread::run()
{
    try {
        m_result = backup::RunBackup(m_settings, m_items, m_observer, m_cancelFlag);
    } catch (const std::exception& error) {
        // The engine guards every item itself; this is the last line for what it cannot
        // (an allocation failure, say). The progress window must not stay open.
        m_observer.showError(error.what());
        m_observer.closeProgress();
    }
}

} // namespace stowmere::app
