// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <vector>

namespace stowmere::cli::test {

/// The backup-set table file holding one set, number 1, "abc", "D:\Bak" (193 bytes).
std::vector<std::byte> workedCategoryFile();

/// A new path table file with no rows (135 bytes).
std::vector<std::byte> emptyPathFile();

} // namespace stowmere::cli::test
