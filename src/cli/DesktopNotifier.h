// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

namespace stowmere::cli {

/// One desktop notification: a title and a plain-text body of a few lines.
struct DesktopNotification {
    enum class Urgency : std::uint8_t { Low = 0, Normal = 1, Critical = 2 };

    std::string summary;
    std::string body;
    Urgency urgency = Urgency::Normal;
    /// The kind of event in the notification service's terms ("transfer.error").
    std::string category;
};

/// Shows desktop notifications through the notification service of the user's session bus
/// (org.freedesktop.Notifications), the way a desktop's own programs do.
///
/// Sending never throws and never waits longer than its timeout, whatever the bus does: a
/// backup run must end with the same result whether or not a desktop is there to tell.
class DesktopNotifier {
public:
    static constexpr std::chrono::milliseconds kTimeout{2000};

    /// The name the desktop entry and the icon are installed under.
    static constexpr const char* kDesktopEntry = "io.github.stowmere.Stowmere";

    struct Delivery {
        bool sent = false;
        std::string problem; ///< why nothing was shown, in a few words
    };

    /// Sends the notification on the session bus named by DBUS_SESSION_BUS_ADDRESS (else
    /// $XDG_RUNTIME_DIR/bus). The whole exchange, connecting included, ends by timeout.
    static Delivery send(const DesktopNotification& notification,
                         std::chrono::milliseconds timeout = kTimeout);

    /// The text with anything that is not well-formed UTF-8 replaced by U+FFFD: the bus
    /// refuses a message holding such bytes, and file names may contain them.
    static std::string validUtf8(std::string_view text);

    /// The text for a service that reads the body as markup: "&", "<" and ">" as entities.
    static std::string escapeMarkup(std::string_view text);
};

} // namespace stowmere::cli
