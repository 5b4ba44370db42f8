// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <ctime>
#include <string>

namespace stowmere::files {

/// The stamp of a file whose time cannot be read or packed.
inline constexpr std::uint32_t kUnreadableStamp = 0xFFFFFFFFu;

/// Packs a time, converted to local time, into 32 bits: the date in the upper half (bits
/// 15-9 years since 1980, 8-5 month, 4-0 day), the time in the lower half (bits 15-11
/// hours, 10-5 minutes, 4-0 seconds / 2). Times before 1980 or after 2107 do not fit and
/// give kUnreadableStamp.
std::uint32_t packStamp(std::time_t seconds);

/// The packed last-write time of the file (links followed); kUnreadableStamp when it
/// cannot be read or packed.
std::uint32_t modificationStamp(const std::string& path);

} // namespace stowmere::files
