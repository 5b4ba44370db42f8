// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "backup/BackupEngine.h"
#include "catalog/DestinationGuard.h"

#include <cstdint>
#include <ostream>
#include <string>

namespace stowmere::cli {

/// A box's text on a terminal: its "\r\n" line breaks as plain ones, control characters
/// inside its lines (of a folder's name) escaped.
std::string terminalText(const std::string& text);

/// The destination guard of a command-line backup: whether the run may start. A moved
/// destination stops a real run (what was found and driveRemedy() are printed, there being
/// no box to ask in) unless acceptNewDrive; a dry run only says so, as it writes nothing.
/// set: how the command line names the set, for the remedy; destination: its Backup To
/// Folder, a drive's or a server's.
bool passDriveGuard(const catalog::DriveCheck& check, const std::string& set, const std::string& destination,
                    bool acceptNewDrive, bool dryRun, std::ostream& err);

/// What to do about a destination found on another drive (or server), as one sentence
/// naming the command that backs up set anyway.
std::string driveRemedy(const std::string& set, const std::string& destination);

/// Whether a run went through, so that its destination's drive becomes the one to expect.
bool ranThrough(const backup::BackupResult& result);

/// Records the drive of a run that went through in the set's options, under the tables'
/// lock. A failure is told on err and costs the run nothing.
void recordDrive(const std::string& dataFolder, std::int32_t setNumber, const catalog::DriveCheck& check,
                 std::ostream& err);

} // namespace stowmere::cli
