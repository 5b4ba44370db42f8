// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string_view>

namespace stowmere::backup {

/// Folder of a destination that keeps the copies runs replaced.
inline constexpr std::string_view kVersionsFolderName = ".stowmere-versions";

/// Folder of a destination where a run writes each copy before it takes its name: on the
/// destination's own file system, so a complete copy moves into place in one rename, and
/// apart from every name a source may hold. The next run empties it of what a killed one
/// left there.
inline constexpr std::string_view kTemporariesFolderName = ".stowmere-tmp";

/// Folder of a destination that keeps a record of each run that changed anything: what it
/// added, replaced and removed, so that any moment can be restored from the destination
/// alone.
inline constexpr std::string_view kRunRecordsFolderName = ".stowmere-runs";

/// Why an entry of an item copied straight into the destination is not backed up.
inline constexpr const char* kOwnNameReason =
    "its name is one the Backup To Folder keeps for its own files at its top level";

/// Whether name, an entry of a destination's top level, is one the destination keeps for
/// its own files (versions, run records, the run lock, the manifest,
/// temporaries). Below the top level
/// no name is the program's: a source may hold any of them at any depth.
bool isOwnTopLevelName(std::string_view name);

} // namespace stowmere::backup
