// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace stowmere::catalog {

/// A backup set: a row of Category.cds. Its number is the key every other table uses.
struct BackupSet {
    std::int32_t number = 0; ///< Category_No
    std::string description; ///< Category_Description, the name in the list
    std::string destination; ///< Category_BackupDirectory, the "Backup To Folder"
    /// The set's identity for as long as it exists, never given to another set (its row of
    /// Options.cds); empty for a set made before sets had one.
    std::string identity;

    bool operator==(const BackupSet&) const = default;
};

/// A file or folder of a backup set: a row of Path.cds.
struct PathEntry {
    std::int32_t number = 0;    ///< Path_No
    std::int32_t setNumber = 0; ///< Category_No of the set it belongs to
    std::string item;           ///< Path_Item, the full path

    bool operator==(const PathEntry&) const = default;
};

/// What a backup set keeps besides its description, destination and paths: a row of
/// Options.cds, or these defaults for a set that has none.
struct SetOptions {
    /// Patterns of files and folders left out, one per entry, in the order given.
    std::vector<std::string> exclusions;
    /// Run folders of replaced copies kept in the destination; 0 keeps none.
    std::int32_t keepVersions = 5;
    /// Versions older than this many days are deleted; 0 sets no age limit.
    std::int32_t keepDays = 0;
    /// Besides those, the newest run folder of each of the last this many days, weeks
    /// (Monday to Sunday) and months that have one is kept; 0 keeps none by that rule.
    std::int32_t keepDaily = 0;
    std::int32_t keepWeekly = 0;
    std::int32_t keepMonthly = 0;
    /// A folder holding a valid CACHEDIR.TAG is left out.
    bool cacheDirTag = true;
    /// A run stops when the destination lies on another file system than at the last
    /// successful run.
    bool guard = true;
    /// The copy of a folder item loses what its source lost: moved into versions, never
    /// deleted at once.
    bool mirror = false;
    /// The destination's file system as the last successful run found it; empty before.
    std::string driveIdentity;

    bool operator==(const SetOptions&) const = default;
};

} // namespace stowmere::catalog
