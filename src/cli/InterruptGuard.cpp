// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/InterruptGuard.h"

#include <unistd.h>

namespace stowmere::cli {
namespace {

// Only lock-free atomics and write(2) may be touched from a signal handler.
static_assert(std::atomic<bool>::is_always_lock_free);
static_assert(std::atomic<int>::is_always_lock_free);

std::atomic<bool>* g_cancelFlag = nullptr;
std::atomic<int> g_receivedSignal{0};
bool g_announce = false;

extern "C" void onSignal(int signalNumber)
{
    int expected = 0;
    const bool first = g_receivedSignal.compare_exchange_strong(expected, signalNumber);
    if (g_cancelFlag)
        g_cancelFlag->store(true);
    if (first && g_announce) {
        static constexpr char kText[] = "\nstowmere-cli: interrupted, stopping\n";
        [[maybe_unused]] const ssize_t written = ::write(STDERR_FILENO, kText, sizeof kText - 1);
    }
}

} // namespace

InterruptGuard::InterruptGuard(std::atomic<bool>& cancelFlag, bool announce)
{
    g_cancelFlag = &cancelFlag;
    g_receivedSignal.store(0);
    g_announce = announce;

    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    // Restart interrupted system calls: the copy sees the flag between two chunks and
    // abandons the file cleanly, rather than failing part-way with EINTR.
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, &m_oldInterrupt);
    sigaction(SIGTERM, &action, &m_oldTerminate);
    // A closed terminal or tmux session: the run stops and is recorded like any other.
    sigaction(SIGHUP, &action, &m_oldHangUp);
}

InterruptGuard::~InterruptGuard()
{
    sigaction(SIGINT, &m_oldInterrupt, nullptr);
    sigaction(SIGTERM, &m_oldTerminate, nullptr);
    sigaction(SIGHUP, &m_oldHangUp, nullptr);
    g_cancelFlag = nullptr;
}

int InterruptGuard::receivedSignal() const
{
    return g_receivedSignal.load();
}

} // namespace stowmere::cli
