// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <systemd/sd-bus.h>

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <sys/types.h>
#include <thread>
#include <vector>

namespace stowmere::cli::test {

/// A session bus of the test's own: a dbus-daemon on a socket in folder, with no service
/// files, so that nothing is started on demand and only what a test puts there answers.
class PrivateSessionBus {
public:
    explicit PrivateSessionBus(const std::string& folder);
    ~PrivateSessionBus();
    PrivateSessionBus(const PrivateSessionBus&) = delete;
    PrivateSessionBus& operator=(const PrivateSessionBus&) = delete;

    /// The address for DBUS_SESSION_BUS_ADDRESS.
    const std::string& address() const { return m_address; }

private:
    pid_t m_pid = -1;
    std::string m_address;
};

/// One Notify call as the service received it.
struct ReceivedNotification {
    std::string appName;
    std::string appIcon;
    std::string summary;
    std::string body;
    std::string desktopEntry; ///< the "desktop-entry" hint
    int urgency = -1;         ///< the "urgency" hint
    std::string category;     ///< the "category" hint
    std::int32_t expireTimeout = 0;
};

/// A notification service on a bus: owns org.freedesktop.Notifications and records every
/// Notify call. Answering answers them as a desktop's service does; Silent owns the name
/// and never answers anything, as a hung service would.
class NotificationListener {
public:
    enum class Behaviour { Answering, Silent };

    NotificationListener(const std::string& address, Behaviour behaviour = Behaviour::Answering,
                         bool bodyMarkup = false);
    ~NotificationListener();
    NotificationListener(const NotificationListener&) = delete;
    NotificationListener& operator=(const NotificationListener&) = delete;

    /// What was received so far. A caller waits for the reply to Notify, so a finished
    /// stowmere-cli's notification is already here.
    std::vector<ReceivedNotification> received() const;

private:
    void serve();
    static int onGetCapabilities(sd_bus_message* call, void* self, sd_bus_error* error);
    static int onNotify(sd_bus_message* call, void* self, sd_bus_error* error);

    sd_bus* m_bus = nullptr;
    bool m_bodyMarkup;
    mutable std::mutex m_mutex;
    std::vector<ReceivedNotification> m_received;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

} // namespace stowmere::cli::test
