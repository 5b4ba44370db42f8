// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/ModificationStamp.h"

#include "platform/FileQueries.h"

namespace stowmere::files {

std::uint32_t packStamp(std::time_t seconds)
{
    std::tm local{};
    if (!::localtime_r(&seconds, &local))
        return kUnreadableStamp;
    const int year = local.tm_year + 1900;
    if (year < 1980 || year > 2107)
        return kUnreadableStamp;
    // A leap second (60) still fits the five bits once halved.
    const auto date =
        static_cast<std::uint32_t>(((year - 1980) << 9) | ((local.tm_mon + 1) << 5) | local.tm_mday);
    const auto time =
        static_cast<std::uint32_t>((local.tm_hour << 11) | (local.tm_min << 5) | (local.tm_sec / 2));
    return (date << 16) | time;
}

std::uint32_t modificationStamp(const std::string& path)
{
    const auto time = modificationTime(path);
    if (!time)
        return kUnreadableStamp;
    return packStamp(time->tv_sec);
}

} // namespace stowmere::files
