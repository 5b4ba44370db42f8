// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <cstdint>

namespace stowmere::app::shown {

// Moments and sizes as the window shows them to a person: in the default locale,
// which the program sets from the user's (app/Translations.h). Nothing a program reads
// goes through these.

/// A moment in local time: the locale's short date and its time to the second (two runs or
/// two kept versions can be a second apart), without the time zone.
QString dateTime(std::int64_t secondsSinceEpoch);
/// A size by the units of the run reports (above 1024 bytes a kilobyte, above 1024 KB a
/// megabyte, above 1024 MB a gigabyte, two decimals), with the locale's decimal separator and
/// unit names.
QString byteSize(std::uint64_t bytes);

} // namespace stowmere::app::shown
