// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace stowmere::backup {

/// Where a run puts the copies of a set's items, and back: a file item straight into the
/// destination, a folder item's tree into destination/Base (its last name; straight into
/// the destination for the root or an item ending with a separator).
class BackupLayout {
public:
    /// destination as stored; items as the set lists them.
    BackupLayout(const std::string& destination, std::vector<std::string> items);

    /// The destination as the engine uses it: no trailing separator, "" for the root.
    const std::string& destination() const { return m_destination; }

    struct Location {
        std::string item;     ///< the set's item that holds the path
        std::string relative; ///< the copy's path below the destination; "" for the destination itself
    };
    /// Where the copy of the original path lies: through the deepest item that holds it
    /// (the item itself or a path inside a folder item). None when no item holds it.
    std::optional<Location> locate(const std::string& original) const;
    /// Another item whose copies land where those of item do (the same last name, or one
    /// copied straight into the destination); empty when none.
    std::string sharingWith(const std::string& item) const;
    /// The original path of the copy at relative below the destination, through the first
    /// item whose copies hold it; empty when none.
    std::string originalOf(std::string_view relative) const;

private:
    std::string m_destination;
    std::vector<std::string> m_items;
    std::vector<std::string> m_bases;
};

} // namespace stowmere::backup
