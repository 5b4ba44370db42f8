// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <vector>

namespace stowmere::catalog {

/// The user's systemd manager, reached through "systemctl --user".
class SystemdUser {
public:
    struct Outcome {
        bool succeeded = false;
        std::string message; ///< what systemctl printed, or why it could not be started
    };

    /// Runs "systemctl --user" with the arguments and waits for it. systemctl is looked up
    /// on PATH; when it is missing the outcome says so instead of throwing.
    static Outcome run(const std::vector<std::string>& arguments);
};

} // namespace stowmere::catalog
