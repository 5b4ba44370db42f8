// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "backup/BackupEngine.h"

#include <QThread>

#include <atomic>
#include <string>
#include <vector>

namespace stowmere::app {

/// The worker thread of one backup run. It runs the engine over a snapshot of the list's
/// item texts; everything the engine has to say to the windows goes through the observer,
/// which hands it to the user-interface thread.
class TBackupThread final : public QThread {
    Q_OBJECT

public:
    TBackupThread(backup::BackupSettings settings, std::vector<std::string> items,
                  backup::BackupObserver& observer, std::atomic<bool>& cancelFlag, QObject* parent = nullptr);

    /// What the run did; read it once the thread has finished.
    const backup::BackupResult& result() const { return m_result; }

protected:
    void run() override;

private:
    backup::BackupSettings m_settings;
    std::vector<std::string> m_items;
    backup::BackupObserver& m_observer;
    std::atomic<bool>& m_cancelFlag;
    backup::BackupResult m_result;
};

} // namespace stowmere::app
