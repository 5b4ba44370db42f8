// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/Translation.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// What the program says about backup sets, word for word, for both front ends. "\r\n" is a
// line break inside a message box. The constants are the English texts; show them through
// _(k.data()) so they reach a person in their language. The functions translate already.
namespace stowmere::catalog {
struct BackupSet;
}

namespace stowmere::catalog::messages {

// The editor's Save.
inline constexpr std::string_view kDescriptionMissing = N_("Please insert Category Description.");
inline constexpr std::string_view kDestinationMissing = N_("Please select Backup To Directory.");

// The main window's commands.
inline constexpr std::string_view kSelectBackup = N_("Please select Backup.");
inline constexpr std::string_view kSelectBackupToEdit = N_("Please select Backup to Edit.");
inline constexpr std::string_view kSelectPathsToDelete = N_("Please select files and folders to Delete.");
inline constexpr std::string_view kDeletePathsFirst =
    N_("Delete file and folder list before deleting Backup.");
inline constexpr std::string_view kConfirmDeleteSet = N_("Delete selected Backup?");
inline constexpr std::string_view kConfirmDeletePaths = N_("Delete selected files and folders?");
inline constexpr std::string_view kSetNotFound = N_("Could not find Backup in dataset");
/// A description the editor's one-line field could not have taken.
inline constexpr std::string_view kDescriptionControl =
    N_("A description is one line of text: it cannot hold a line break, a tab or another control character.");
inline constexpr std::string_view kPathNotFound = N_("Could not find Path in dataset");

/// Another program held the table files' lock for the whole wait.
inline constexpr std::string_view kTablesBusy =
    N_("The backup sets are being changed by another program; try again.");

/// Said after the reason a damaged Options.cds could not be read.
inline constexpr std::string_view kOptionsUnreadable =
    N_("; every backup set uses the default options until it is repaired, and the file is left as it is.");

/// What the guard found when a set's destination lies on another drive than at its last
/// successful backup, in one sentence; a folder on a server is named with its host.
std::string driveChanged(const std::string& destination);
/// The guard's question in that case.
std::string driveChangedQuestion(const std::string& destination);
/// The save's question when a set was changed here and by another program meanwhile.
std::string setChangedOnBothSidesQuestion(const BackupSet& theirs, const BackupSet& mine);
/// The save's question when a set changed here was deleted by another program.
std::string setDeletedElsewhereQuestion(const std::string& description);
/// The save's question when a set deleted here was changed by another program.
std::string setChangedElsewhereDeletedHereQuestion(const std::string& description);
/// The save's question when a set's options were changed here and by another program.
std::string optionsChangedOnBothSidesQuestion(const std::string& description);
/// What the save did when it kept both versions of a set.
std::string keptBoth(const std::string& theirs, const std::string& mine);
/// Why a set deleted here was kept.
std::string keptForItsPaths(const std::string& description);
/// A run refused because its Backup To Folder cannot be written, with the system's reason.
std::string destinationNotWritable(const std::string& folder, const std::string& reason);
/// The window's question after a table file could not be written.
std::string saveFailedQuestion(const std::string& file, const std::string& reason);
/// Why no set or path can be changed while a table file could not be read.
std::string changesRefused(const std::string& reason);
/// A report of path rows whose backup set does not exist.
std::string orphanPaths(const std::string& file, std::size_t count, std::int64_t setNumber);
/// A path or folder that holds a zero byte, which a file name cannot.
std::string zeroByteInPath(std::string_view what);

} // namespace stowmere::catalog::messages
