// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "backup/BackupEngine.h"
#include "backup/BackupObserver.h"

#include <string>

namespace stowmere::backup {

/// What a run keeps of what it met, for the sinks that report to the user: the result's
/// lists and counts, and the error boxes. A count before the run keeps none of it, as the
/// run tells it all again.
class RunLog {
public:
    RunLog(BackupResult& result, BackupObserver& observer) : m_result(result), m_observer(observer) {}

    BackupResult& result() { return m_result; }
    BackupObserver& observer() { return m_observer; }

    void notBackedUp(const std::string& path, const std::string& reason)
    {
        if (m_result.notBackedUp.size() < BackupResult::kMaxNotBackedUp)
            m_result.notBackedUp.push_back({path, reason});
        ++m_result.notBackedUpCount;
    }
    void excluded() { ++m_result.excluded; }
    /// An error box for anything the lists do not hold (an unreadable folder, an
    /// unexpected error).
    void showError(const std::string& text)
    {
        ++m_result.otherErrors;
        m_observer.showError(text);
    }

private:
    BackupResult& m_result;
    BackupObserver& m_observer;
};

} // namespace stowmere::backup
