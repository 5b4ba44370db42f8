// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string>

namespace stowmere::files {

/// Bytes available to the calling user on the volume that holds the folder; 0 when the
/// volume cannot be queried.
std::uint64_t freeBytes(const std::string& folder);

} // namespace stowmere::files
