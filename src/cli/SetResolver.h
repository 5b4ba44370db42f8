// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace stowmere::cli {

/// One backup set as the command line sees it.
struct BackupSetEntry {
    std::optional<std::int32_t> number; ///< Category_No; none for a row stored without a number
    std::string description;
    std::string destination;
};

/// SET named no backup set, or more than one. what() is the whole text to show, the
/// candidates of an ambiguous SET listed one per line.
class SetNotFound : public std::runtime_error {
    using std::runtime_error::runtime_error;
};

/// Finds the backup set a SET argument names among the sets in the window's order.
///
/// SET matches a set whose description is exactly SET, and, when SET is a decimal number,
/// the set with that number. Descriptions need not be unique and may look like numbers, so
/// more than one match is refused with a list of the candidates rather than guessed.
class SetResolver {
public:
    explicit SetResolver(std::vector<BackupSetEntry> sets) : m_sets(std::move(sets)) {}

    /// The index into the sets of the one set SET names. Throws SetNotFound.
    std::size_t resolve(const std::string& set) const;

    /// "number<TAB>description<TAB>destination", the line 'list' prints for a set.
    static std::string line(const BackupSetEntry& entry);

private:
    std::vector<BackupSetEntry> m_sets;
};

} // namespace stowmere::cli
