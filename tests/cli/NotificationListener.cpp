// SPDX-License-Identifier: GPL-3.0-or-later
#include "NotificationListener.h"

#include <systemd/sd-bus.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <spawn.h>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace stowmere::cli::test {
namespace {

void check(int result, const char* what)
{
    if (result < 0)
        throw std::runtime_error(std::string(what) + ": " + std::strerror(-result));
}

std::string readLine(int fd)
{
    std::string line;
    char c = 0;
    while (::read(fd, &c, 1) == 1 && c != '\n')
        line += c;
    return line;
}

} // namespace

PrivateSessionBus::PrivateSessionBus(const std::string& folder)
{
    const std::string config = folder + "/bus.conf";
    std::ofstream(config)
        << "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
           " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
           "<busconfig>\n"
           "  <type>session</type>\n"
           "  <listen>unix:dir="
        << folder
        << "</listen>\n"
           "  <auth>EXTERNAL</auth>\n"
           "  <policy context=\"default\">\n"
           "    <allow send_destination=\"*\"/>\n"
           "    <allow receive_sender=\"*\"/>\n"
           "    <allow own=\"*\"/>\n"
           "  </policy>\n"
           "</busconfig>\n";
    int pipeFds[2];
    if (pipe2(pipeFds, O_CLOEXEC) != 0)
        throw std::runtime_error("pipe failed");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
    // Its complaint that it may not raise its file limit is of no interest here.
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    std::string configOption = "--config-file=" + config;
    std::vector<char*> argv{const_cast<char*>("dbus-daemon"), configOption.data(),
                            const_cast<char*>("--nofork"), const_cast<char*>("--print-address=1"), nullptr};
    const int spawned = posix_spawnp(&m_pid, "dbus-daemon", &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(pipeFds[1]);
    if (spawned != 0) {
        ::close(pipeFds[0]);
        throw std::runtime_error(std::string("cannot start dbus-daemon: ") + std::strerror(spawned));
    }
    // The daemon prints its address once it listens.
    m_address = readLine(pipeFds[0]);
    ::close(pipeFds[0]);
    if (m_address.empty())
        throw std::runtime_error("dbus-daemon printed no address");
}

PrivateSessionBus::~PrivateSessionBus()
{
    if (m_pid > 0) {
        ::kill(m_pid, SIGTERM);
        int status = 0;
        while (waitpid(m_pid, &status, 0) < 0 && errno == EINTR) {
        }
    }
}

NotificationListener::NotificationListener(const std::string& address, Behaviour behaviour, bool bodyMarkup)
    : m_bodyMarkup(bodyMarkup)
{
    check(sd_bus_new(&m_bus), "sd_bus_new");
    check(sd_bus_set_address(m_bus, address.c_str()), "sd_bus_set_address");
    check(sd_bus_set_bus_client(m_bus, 1), "sd_bus_set_bus_client");
    check(sd_bus_start(m_bus), "sd_bus_start");
    if (behaviour == Behaviour::Answering) {
        static const sd_bus_vtable vtable[] = {
            SD_BUS_VTABLE_START(0),
            SD_BUS_METHOD("GetCapabilities", "", "as", &NotificationListener::onGetCapabilities,
                          SD_BUS_VTABLE_UNPRIVILEGED),
            SD_BUS_METHOD("Notify", "susssasa{sv}i", "u", &NotificationListener::onNotify,
                          SD_BUS_VTABLE_UNPRIVILEGED),
            SD_BUS_VTABLE_END,
        };
        check(sd_bus_add_object_vtable(m_bus, nullptr, "/org/freedesktop/Notifications",
                                       "org.freedesktop.Notifications", vtable, this),
              "sd_bus_add_object_vtable");
    }
    // Owning the name returns once the bus has granted it, so a caller started afterwards
    // finds the service.
    check(sd_bus_request_name(m_bus, "org.freedesktop.Notifications", 0), "sd_bus_request_name");
    if (behaviour == Behaviour::Answering)
        m_thread = std::thread([this] { serve(); });
}

NotificationListener::~NotificationListener()
{
    m_stop = true;
    if (m_thread.joinable())
        m_thread.join();
    sd_bus_flush_close_unref(m_bus);
}

std::vector<ReceivedNotification> NotificationListener::received() const
{
    const std::lock_guard lock(m_mutex);
    return m_received;
}

void NotificationListener::serve()
{
    while (!m_stop) {
        const int result = sd_bus_process(m_bus, nullptr);
        if (result < 0)
            return;
        if (result == 0)
            sd_bus_wait(m_bus, 100 * 1000); // short, so that the destructor's stop is seen
    }
}

int NotificationListener::onGetCapabilities(sd_bus_message* call, void* self, sd_bus_error*)
{
    const auto* listener = static_cast<NotificationListener*>(self);
    if (listener->m_bodyMarkup)
        return sd_bus_reply_method_return(call, "as", 2, "body", "body-markup");
    return sd_bus_reply_method_return(call, "as", 1, "body");
}

int NotificationListener::onNotify(sd_bus_message* call, void* self, sd_bus_error*)
{
    auto* listener = static_cast<NotificationListener*>(self);
    ReceivedNotification notification;
    const char* appName = nullptr;
    std::uint32_t replaces = 0;
    const char* icon = nullptr;
    const char* summary = nullptr;
    const char* body = nullptr;
    int result = sd_bus_message_read(call, "susss", &appName, &replaces, &icon, &summary, &body);
    if (result < 0)
        return result;
    notification.appName = appName;
    notification.appIcon = icon;
    notification.summary = summary;
    notification.body = body;
    if ((result = sd_bus_message_skip(call, "as")) < 0)
        return result;
    if ((result = sd_bus_message_enter_container(call, 'a', "{sv}")) < 0)
        return result;
    while ((result = sd_bus_message_enter_container(call, 'e', "sv")) > 0) {
        const char* key = nullptr;
        if ((result = sd_bus_message_read(call, "s", &key)) < 0)
            return result;
        const std::string name = key;
        if (name == "urgency") {
            std::uint8_t urgency = 0;
            if ((result = sd_bus_message_read(call, "v", "y", &urgency)) < 0)
                return result;
            notification.urgency = urgency;
        } else if (name == "desktop-entry" || name == "category") {
            const char* value = nullptr;
            if ((result = sd_bus_message_read(call, "v", "s", &value)) < 0)
                return result;
            (name == "category" ? notification.category : notification.desktopEntry) = value;
        } else if ((result = sd_bus_message_skip(call, "v")) < 0) {
            return result;
        }
        if ((result = sd_bus_message_exit_container(call)) < 0)
            return result;
    }
    if (result < 0 || (result = sd_bus_message_exit_container(call)) < 0)
        return result;
    if ((result = sd_bus_message_read(call, "i", &notification.expireTimeout)) < 0)
        return result;
    std::uint32_t id = 0;
    {
        const std::lock_guard lock(listener->m_mutex);
        listener->m_received.push_back(notification);
        id = static_cast<std::uint32_t>(listener->m_received.size());
    }
    return sd_bus_reply_method_return(call, "u", id);
}

} // namespace stowmere::cli::test
