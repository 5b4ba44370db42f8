// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

namespace stowmere::app {

/// Shows the hourglass for the whole application for the life of the object, so every
/// exit path of a long command, an exception included, restores the default cursor.
class WaitCursor {
public:
    WaitCursor();
    ~WaitCursor();
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;

    /// Restores the default cursor now (before a message box, say); the destructor then
    /// does nothing.
    void release();

private:
    bool m_active = true;
};

} // namespace stowmere::app
