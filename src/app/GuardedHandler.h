// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "app/Dialogs.h"

#include <exception>
#include <functional>
#include <utility>

namespace stowmere::app {

/// What a guarded handler does when its body throws. By default it shows the error's text
/// in an error box.
class OnFailure {
public:
    /// The box that shows the error's text; Application is the default report of an error
    /// that escaped its handler.
    OnFailure& showIn(MessageKind box)
    {
        m_box = box;
        return *this;
    }
    /// A refusal by a rule about backup sets is the user's to mend, not a fault: it is shown
    /// as information.
    OnFailure& refusalAsInformation()
    {
        m_refusalAsInformation = true;
        return *this;
    }
    /// Puts the window back in order before the box shows (refills a list, drops a pending
    /// row, gives back the cursor, moves the focus to the field at fault).
    OnFailure& recover(std::function<void(const std::exception&)> recovery)
    {
        m_recover = std::move(recovery);
        return *this;
    }

    MessageKind box() const { return m_box; }
    bool showsRefusalAsInformation() const { return m_refusalAsInformation; }
    void recoverFrom(const std::exception& error) const;

private:
    MessageKind m_box = MessageKind::Error;
    bool m_refusalAsInformation = false;
    std::function<void(const std::exception&)> m_recover;
};

/// Runs a command handler's body. Whatever it throws is shown to the user in one box,
/// after onFailure.recover has run, and goes no further: an exception must never reach the
/// event loop. Returns whether the body ran to its end.
bool guarded(Dialogs& dialogs, const std::function<void()>& body, const OnFailure& onFailure = {});

} // namespace stowmere::app
