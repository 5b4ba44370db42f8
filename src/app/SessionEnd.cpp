// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/SessionEnd.h"

#include <QSocketNotifier>

#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <iterator>
#include <stdexcept>
#include <string>

namespace stowmere::app {
namespace {

// The write end is used by the signal handler, which may only make async-signal-safe calls.
int g_sockets[2] = {-1, -1};
constexpr int kSignals[] = {SIGTERM, SIGHUP, SIGINT};
constexpr int kSignalCount = static_cast<int>(std::size(kSignals));
struct sigaction g_previous[kSignalCount] = {};

extern "C" void onSignal(int number)
{
    const int saved = errno;
    const auto byte = static_cast<unsigned char>(number);
    // A full socket already holds a byte that wakes the reader; this one can be lost.
    [[maybe_unused]] const ssize_t written = ::write(g_sockets[0], &byte, 1);
    errno = saved;
}

} // namespace

SessionEnd::SessionEnd(QObject* parent) : QObject(parent)
{
    if (g_sockets[0] >= 0)
        throw std::logic_error("SessionEnd: only one instance per process");
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, g_sockets) != 0)
        throw std::runtime_error(std::string("Cannot watch for the end of the session: ") +
                                 std::strerror(errno));
    m_notifier = new QSocketNotifier(g_sockets[1], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &SessionEnd::readSignal);
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int i = 0; i < kSignalCount; ++i)
        ::sigaction(kSignals[i], &action, &g_previous[i]);
}

SessionEnd::~SessionEnd()
{
    for (int i = 0; i < kSignalCount; ++i)
        ::sigaction(kSignals[i], &g_previous[i], nullptr);
    delete m_notifier;
    m_notifier = nullptr;
    for (int& socket : g_sockets) {
        ::close(socket);
        socket = -1;
    }
}

void SessionEnd::readSignal()
{
    unsigned char byte = 0;
    while (::read(g_sockets[1], &byte, 1) == 1)
        emit ending(byte);
}

} // namespace stowmere::app
