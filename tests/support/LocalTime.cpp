// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/LocalTime.h"

namespace stowmere::testing {

std::time_t localTime(int year, int month, int day, int hour, int minute, int second)
{
    std::tm local{};
    local.tm_year = year - 1900;
    local.tm_mon = month - 1;
    local.tm_mday = day;
    local.tm_hour = hour;
    local.tm_min = minute;
    local.tm_sec = second;
    local.tm_isdst = -1;
    return std::mktime(&local);
}

} // namespace stowmere::testing
