// SPDX-License-Identifier: GPL-3.0-or-later
#include "catalog/SetIdentity.h"

#include "catalog/Entities.h"
#include "catalog/RunRecord.h"

#include <charconv>
#include <cstdio>
#include <random>

namespace stowmere::catalog {

std::string newSetIdentity(std::chrono::system_clock::time_point made)
{
    std::random_device source;
    const std::uint64_t bits = (std::uint64_t{source()} << 32) ^ std::uint64_t{source()};
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(made.time_since_epoch()).count();
    char text[48];
    std::snprintf(text, sizeof text, "%lld-%016llx", static_cast<long long>(seconds),
                  static_cast<unsigned long long>(bits));
    return text;
}

std::optional<std::chrono::system_clock::time_point> identityMade(std::string_view identity)
{
    const std::size_t dash = identity.find('-');
    if (dash == std::string_view::npos || dash == 0 || identity.size() - dash - 1 != 16)
        return std::nullopt;
    long long seconds = 0;
    const auto [end, error] = std::from_chars(identity.data(), identity.data() + dash, seconds);
    if (error != std::errc() || end != identity.data() + dash || seconds < 0)
        return std::nullopt;
    return std::chrono::system_clock::time_point(std::chrono::seconds(seconds));
}

bool isRunOf(const RunRecord& record, const BackupSet& set)
{
    if (record.setNumber != set.number)
        return false;
    if (!record.setIdentity.empty())
        return record.setIdentity == set.identity;
    if (set.identity.empty())
        return true;
    const auto made = identityMade(set.identity);
    // Identities are stamped to the second; a run started in the second the set was made
    // is its own.
    return !made || record.start >= *made;
}

} // namespace stowmere::catalog
