// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/DesktopNotifier.h"

#include "platform/Utf8.h"

#include <systemd/sd-bus.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace stowmere::cli {
namespace {

constexpr const char* kService = "org.freedesktop.Notifications";
constexpr const char* kObject = "/org/freedesktop/Notifications";
constexpr const char* kInterface = "org.freedesktop.Notifications";

struct BusClose {
    void operator()(sd_bus* bus) const { sd_bus_flush_close_unref(bus); }
};
struct MessageUnref {
    void operator()(sd_bus_message* message) const { sd_bus_message_unref(message); }
};
using Bus = std::unique_ptr<sd_bus, BusClose>;
using Message = std::unique_ptr<sd_bus_message, MessageUnref>;
using Clock = std::chrono::steady_clock;

std::string errnoText(int negativeErrno)
{
    return std::strerror(-negativeErrno);
}

std::string noAnswerText(std::chrono::milliseconds timeout)
{
    return "no answer from the notification service within " + std::to_string(timeout.count()) + " ms";
}

/// A method call on the way: the reply handler fills it in.
struct PendingCall {
    bool done = false;
    bool timedOut = false;
    Message reply;
    std::string error;
};

int takeReply(sd_bus_message* message, void* userdata, sd_bus_error*)
{
    auto* pending = static_cast<PendingCall*>(userdata);
    pending->done = true;
    // The call's own time-out ends at the deadline too, and says so as this error.
    if (sd_bus_message_is_method_error(message, SD_BUS_ERROR_NO_REPLY) > 0)
        pending->timedOut = true;
    else if (const sd_bus_error* error = sd_bus_message_get_error(message))
        pending->error = error->message ? error->message : error->name;
    else
        pending->reply.reset(sd_bus_message_ref(message));
    return 0;
}

/// Sends the call and waits for its reply until the deadline; the reply, or nothing with
/// problem set. The wait is our own rather than sd-bus's so that connecting and the bus's
/// greeting fall under the same deadline as the call.
Message callUntil(sd_bus* bus, sd_bus_message* call, Clock::time_point deadline,
                  std::chrono::milliseconds timeout, std::string& problem)
{
    PendingCall pending;
    sd_bus_slot* slot = nullptr;
    const auto left = std::chrono::duration_cast<std::chrono::microseconds>(deadline - Clock::now());
    int result = sd_bus_call_async(bus, &slot, call, takeReply, &pending,
                                   static_cast<std::uint64_t>(std::max<std::int64_t>(left.count(), 1)));
    if (result < 0) {
        problem = "cannot send on the session bus: " + errnoText(result);
        return {};
    }
    // Unreferencing the slot when leaving also drops the handler, so a late reply can never
    // reach the pending call once it is gone.
    const std::unique_ptr<sd_bus_slot, sd_bus_slot* (*)(sd_bus_slot*)> slotOwner(slot, sd_bus_slot_unref);
    while (!pending.done) {
        result = sd_bus_process(bus, nullptr);
        if (result < 0) {
            problem = "the session bus failed: " + errnoText(result);
            return {};
        }
        if (pending.done)
            break;
        // Checked after every step, not only when idle, so a bus that keeps sending cannot
        // hold the run past the deadline either.
        const auto remaining = std::chrono::duration_cast<std::chrono::microseconds>(deadline - Clock::now());
        if (remaining.count() <= 0) {
            problem = noAnswerText(timeout);
            return {};
        }
        if (result > 0)
            continue;
        result = sd_bus_wait(bus, static_cast<std::uint64_t>(remaining.count()));
        if (result < 0 && result != -EINTR) {
            problem = "the session bus failed: " + errnoText(result);
            return {};
        }
    }
    if (pending.timedOut) {
        problem = noAnswerText(timeout);
        return {};
    }
    if (!pending.error.empty()) {
        problem = pending.error;
        return {};
    }
    return std::move(pending.reply);
}

Message newCall(sd_bus* bus, const char* method, std::string& problem)
{
    sd_bus_message* call = nullptr;
    const int result = sd_bus_message_new_method_call(bus, &call, kService, kObject, kInterface, method);
    if (result < 0) {
        problem = "cannot make a bus message: " + errnoText(result);
        return {};
    }
    return Message(call);
}

/// Whether the service reads the body as markup; a service that does not say is taken as
/// showing it as it is, so nothing is escaped that would then show.
bool readsBodyMarkup(sd_bus_message* reply)
{
    char** capabilities = nullptr;
    if (sd_bus_message_read_strv(reply, &capabilities) < 0 || !capabilities)
        return false;
    bool markup = false;
    for (char** capability = capabilities; *capability; ++capability) {
        markup = markup || std::strcmp(*capability, "body-markup") == 0;
        std::free(*capability);
    }
    std::free(capabilities);
    return markup;
}

} // namespace

DesktopNotifier::Delivery DesktopNotifier::send(const DesktopNotification& notification,
                                                std::chrono::milliseconds timeout)
{
    const Clock::time_point deadline = Clock::now() + timeout;
    sd_bus* rawBus = nullptr;
    // The user's session bus: DBUS_SESSION_BUS_ADDRESS, else $XDG_RUNTIME_DIR/bus, which is
    // also what a systemd user service (a scheduled backup) finds.
    int result = sd_bus_open_user(&rawBus);
    if (result == -ENOMEDIUM)
        return {false, "no session bus (neither DBUS_SESSION_BUS_ADDRESS nor XDG_RUNTIME_DIR is set)"};
    if (result < 0)
        return {false, "no session bus (" + errnoText(result) + ")"};
    const Bus bus(rawBus);

    std::string problem;
    Message query = newCall(bus.get(), "GetCapabilities", problem);
    if (!query)
        return {false, problem};
    const Message capabilities = callUntil(bus.get(), query.get(), deadline, timeout, problem);
    if (!capabilities)
        return {false, problem};
    const std::string body = readsBodyMarkup(capabilities.get()) ? escapeMarkup(validUtf8(notification.body))
                                                                 : validUtf8(notification.body);

    Message call = newCall(bus.get(), "Notify", problem);
    if (!call)
        return {false, problem};
    const std::string summary = validUtf8(notification.summary);
    const std::string category = validUtf8(notification.category);
    result = sd_bus_message_append(call.get(), "susssasa{sv}i", "Stowmere", std::uint32_t{0}, kDesktopEntry,
                                   summary.c_str(), body.c_str(), 0, 3, "urgency", "y",
                                   static_cast<int>(notification.urgency), "desktop-entry", "s",
                                   kDesktopEntry, "category", "s", category.c_str(), std::int32_t{-1});
    if (result < 0)
        return {false, "cannot make the notification: " + errnoText(result)};
    if (!callUntil(bus.get(), call.get(), deadline, timeout, problem))
        return {false, problem};
    return {true, {}};
}

std::string DesktopNotifier::validUtf8(std::string_view text)
{
    std::string result;
    result.reserve(text.size());
    std::size_t i = 0;
    while (i < text.size()) {
        const auto lead = static_cast<unsigned char>(text[i]);
        const std::size_t length = lead < 0x80    ? 1
                                   : lead >= 0xF0 ? 4
                                   : lead >= 0xE0 ? 3
                                   : lead >= 0xC0 ? 2
                                                  : 0;
        // A zero ends a string on the bus; it is no more welcome than a broken character.
        if (length > 0 && i + length <= text.size() && lead != 0 && utf8::isValid(text.substr(i, length))) {
            result.append(text.substr(i, length));
            i += length;
        } else {
            result += "\xEF\xBF\xBD";
            ++i;
        }
    }
    return result;
}

std::string DesktopNotifier::escapeMarkup(std::string_view text)
{
    std::string result;
    result.reserve(text.size());
    for (const char c : text) {
        switch (c) {
        case '&':
            result += "&amp;";
            break;
        case '<':
            result += "&lt;";
            break;
        case '>':
            result += "&gt;";
            break;
        default:
            result += c;
        }
    }
    return result;
}

} // namespace stowmere::cli
