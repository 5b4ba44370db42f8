// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "backup/BackupEngine.h"
#include "cli/ExitCode.h"

namespace stowmere::cli {

/// The exit code of a finished backup run. A run that never started (another run holds the
/// destination) is NotStarted. A failed copy (the destination could not be written)
/// outranks an interruption (the user must learn that something failed), which outranks
/// missing items and files that could not be read. Unexpected errors also mean that not
/// everything was copied and count as a failed copy: a run that skipped data never exits 0.
/// signal: the signal that interrupted the run, or 0.
ExitCode backupExitCode(const backup::BackupResult& result, int signal);

/// The closing summary's first words for the same outcome.
const char* backupOutcomeText(const backup::BackupResult& result, int signal);

} // namespace stowmere::cli
