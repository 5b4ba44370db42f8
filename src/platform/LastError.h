// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cerrno>
#include <system_error>

namespace stowmere::files {

/// errno as an error code, read at once after the call that failed.
inline std::error_code lastError()
{
    return {errno, std::generic_category()};
}

} // namespace stowmere::files
