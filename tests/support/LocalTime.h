// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <ctime>

namespace stowmere::testing {

/// A local wall-clock time as seconds since the epoch, daylight saving decided by the
/// time zone.
std::time_t localTime(int year, int month, int day, int hour, int minute, int second);

} // namespace stowmere::testing
