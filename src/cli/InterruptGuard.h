// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <atomic>
#include <csignal>

namespace stowmere::cli {

/// While alive, SIGINT, SIGTERM and SIGHUP do not kill the process: they set the backup
/// run's cancel flag, exactly as the window's Cancel button does, so the run ends within a
/// chunk of the file being copied (which is abandoned), no temporary file is left behind and
/// the run is recorded. The previous handlers come back when the guard is destroyed. One
/// guard at a time.
class InterruptGuard {
public:
    /// announce: write one line to standard error when the first signal arrives, so the
    /// user sees that Ctrl-C worked.
    InterruptGuard(std::atomic<bool>& cancelFlag, bool announce);
    ~InterruptGuard();
    InterruptGuard(const InterruptGuard&) = delete;
    InterruptGuard& operator=(const InterruptGuard&) = delete;

    /// The first signal received since the guard was installed, or 0.
    int receivedSignal() const;

private:
    struct sigaction m_oldInterrupt {};
    struct sigaction m_oldTerminate {};
    struct sigaction m_oldHangUp {};
};

} // namespace stowmere::cli
