// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cerrno>
#include <system_error>

namespace stowmere::files {

/// An errno value as an error code.
inline std::error_code errorCode(int error)
{
    return {error, std::generic_category()};
}

/// errno as an error code, read at once after the call that failed.
inline std::error_code lastError()
{
    return errorCode(errno);
}

} // namespace stowmere::files
