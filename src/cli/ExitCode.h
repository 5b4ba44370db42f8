// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

namespace stowmere::cli {

/// Process exit codes of stowmere-cli. Scripts and schedulers branch on these, so the
/// numbers are part of the tool's interface and never change.
enum class ExitCode : int {
    Success = 0,       ///< everything asked for was done
    ItemsNotFound = 1, ///< done, but some named items did not exist or some files could not be read
    CopyFailed = 2,    ///< the destination could not be written and the backup run stopped
    NotStarted = 3,    ///< nothing was done: bad arguments, refused input, unusable data files
    // The verify command's own meanings of the same numbers.
    VerifyFaults = 1,         ///< copies damaged, missing or changed, or the manifest damaged
    VerifyUnreadable = 2,     ///< the destination could not be read
    VerifyNothingChecked = 3, ///< no copy had a record to be compared with
    HungUp = 129,             ///< stopped by SIGHUP (128 + SIGHUP): the terminal or its session closed
    Interrupted = 130,        ///< stopped by Ctrl-C (128 + SIGINT)
    Terminated = 143,         ///< stopped by SIGTERM (128 + SIGTERM), e.g. a systemd stop
};

/// The exit code of a run stopped by signalNumber (SIGHUP, SIGINT or SIGTERM).
ExitCode exitCodeForSignal(int signalNumber);

inline int toInt(ExitCode code)
{
    return static_cast<int>(code);
}

} // namespace stowmere::cli
