// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace stowmere::catalog {

struct BackupSet;
struct RunRecord;

/// A new set's identity: the second it was made (seconds since 1970, UTC) and 64 random
/// bits, "1765208496-3fa9c2d41b7e6a05". Unique across data folders and machines in
/// practice, and never reused when a set number is.
std::string newSetIdentity(std::chrono::system_clock::time_point made);

/// When an identity was made; none for a text that is not one.
std::optional<std::chrono::system_clock::time_point> identityMade(std::string_view identity);

/// Whether a line of the run history (already known to be of set's data folder) is a run
/// of set. A line that names a set identity is the run of that set alone. A line written
/// before lines named one matches by number, unless the set was made after the run started:
/// such a line belongs to an earlier set that had its number.
bool isRunOf(const RunRecord& record, const BackupSet& set);

} // namespace stowmere::catalog
