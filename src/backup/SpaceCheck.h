// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace stowmere::backup {

/// Whether the copies of items surely fit the free space of destination without counting
/// them: true when the destination has more free bytes than are in use on every file
/// system the items lie on, the file systems mounted inside folder items included. The
/// copies can never take more than their sources hold. False when that cannot be told.
bool copiesSurelyFit(const std::string& destination, const std::vector<std::string>& items);

/// Whether copies whose sources held knownBytes at the last complete run still fit the
/// free space of destination with room for a tree that grew meanwhile: a quarter more, and
/// 64 MiB. False when the free space cannot be told.
bool copiesFitKnownTotal(const std::string& destination, std::uint64_t knownBytes);

} // namespace stowmere::backup
