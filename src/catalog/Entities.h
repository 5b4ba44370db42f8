// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string>

namespace stowmere::catalog {

/// A backup set: a row of Category.cds. Its number is the key every other table uses.
struct BackupSet {
    std::int32_t number = 0; ///< Category_No
    std::string description; ///< Category_Description, the name in the list
    std::string destination; ///< Category_BackupDirectory, the "Backup To Folder"

    bool operator==(const BackupSet&) const = default;
};

/// A file or folder of a backup set: a row of Path.cds.
struct PathEntry {
    std::int32_t number = 0;    ///< Path_No
    std::int32_t setNumber = 0; ///< Category_No of the set it belongs to
    std::string item;           ///< Path_Item, the full path

    bool operator==(const PathEntry&) const = default;
};

} // namespace stowmere::catalog
