// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string_view>
#include <system_error>

namespace stowmere::files {

/// Writes all of bytes to fd at its offset, however many calls that takes (a signal or a
/// full pipe may cut a write short); the system's reason when a write fails.
std::error_code writeAll(int fd, std::string_view bytes);

} // namespace stowmere::files
