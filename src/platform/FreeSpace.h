// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace stowmere::files {

/// Bytes available to the calling user on the volume that holds the folder; 0 when the
/// volume cannot be queried.
std::uint64_t freeBytes(const std::string& folder);

/// Bytes in use on the volume that holds path (all blocks less the free ones); none when
/// the volume cannot be queried.
std::optional<std::uint64_t> usedBytes(const std::string& path);

} // namespace stowmere::files
