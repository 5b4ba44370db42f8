// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "backup/BackupEngine.h"
#include "backup/Verifier.h"
#include "catalog/Entities.h"

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace stowmere::catalog {

/// How a run ended, as the history keeps it.
enum class RunOutcome {
    Ok,        ///< everything was copied or already up to date
    Warnings,  ///< done, but items were not found or files could not be read
    Failed,    ///< the destination could not be written, or an unexpected error
    Cancelled, ///< stopped by the user (Cancel, Ctrl-C, SIGTERM)
    Refused,   ///< stopped at start: nothing was copied
};

enum class RunMode { Full, Incremental, DryRun, Verify };

/// "ok", "warnings", "failed", "cancelled", "refused".
const char* outcomeName(RunOutcome outcome);
std::optional<RunOutcome> outcomeFromName(const std::string& name);
/// "full", "incremental", "dry run", "verify".
const char* modeName(RunMode mode);
std::optional<RunMode> modeFromName(const std::string& name);

/// One run of a backup set, a line of the run history.
struct RunRecord {
    using Clock = std::chrono::system_clock;

    /// The data folder holding the set (absolute): with the number it names the set, as two
    /// data folders number their sets independently.
    std::string dataFolder;
    std::int32_t setNumber = 0;
    /// The set's identity when it has one: a later set given the same number is another set.
    std::string setIdentity;
    std::string description;
    std::string destination;
    Clock::time_point start;
    Clock::time_point end;
    RunMode mode = RunMode::Full;
    /// Files and links copied; for a dry run, those it would copy; for a verification, the
    /// copies read.
    std::uint64_t files = 0;
    /// Their bytes.
    std::uint64_t bytes = 0;
    /// Copies a run made again because verification had found them damaged or missing.
    std::uint64_t healed = 0;
    /// Copies whose sources were gone, moved into versions by a mirrored run (for a dry
    /// run, those it would move); a folder counts once.
    std::uint64_t removed = 0;
    /// The bytes of the items' files the run looked at, copied or up to date; 0 when not
    /// known (a full run, or a record of an earlier version).
    std::uint64_t sourceBytes = 0;
    /// What a verification found.
    std::optional<backup::VerifyCounts> verify;
    /// Checked items that were neither a file nor a folder.
    std::vector<std::string> missingItems;
    /// Lines the run told beyond its counts (a stale lock taken over).
    std::vector<std::string> notes;
    /// Files and folders that failed, with the system's reason: at most kMaxFailures,
    /// failureCount counts them all.
    std::vector<backup::NotBackedUp> failures;
    std::uint64_t failureCount = 0;
    static constexpr std::size_t kMaxFailures = 100;
    RunOutcome outcome = RunOutcome::Ok;
    /// Why a refused or failed run stopped; empty otherwise.
    std::string reason;
    /// The destination's file system: "uuid:…", "fsid:…" or "dev:…", and its mount point.
    /// Empty when the destination could not be looked at (it was missing).
    std::string fileSystem;
    std::string mountPoint;
    /// The program that ran it: "stowmere" or "stowmere-cli".
    std::string program;

    /// Whether this run counts as "the last backup": ok or warnings, never a dry run or a
    /// verification.
    bool isBackup() const
    {
        return writesCopies() && (outcome == RunOutcome::Ok || outcome == RunOutcome::Warnings);
    }
    /// A backup run, neither a dry run nor a verification.
    bool writesCopies() const { return mode == RunMode::Full || mode == RunMode::Incremental; }

    /// The record as one JSON object on one line, without the line end.
    std::string toJsonLine() const;
    /// Reads a line written by toJsonLine. Throws std::invalid_argument saying what is wrong.
    static RunRecord fromJsonLine(const std::string& line);
};

/// A data folder as the history names it: absolute, links resolved, no trailing separator.
std::string historyFolderKey(const std::string& dataFolder);

/// The outcome of a run from its result: refused, then failed (a failed copy or an
/// unexpected error outranks a cancel, as the engine cancels itself after a failed copy),
/// then cancelled, then warnings.
RunOutcome outcomeOf(const backup::BackupResult& result);

/// "2026-12-08T04:12:38Z": UTC, ISO 8601, to the second.
std::string isoTime(RunRecord::Clock::time_point time);
/// Reads isoTime's form; none for anything else.
std::optional<RunRecord::Clock::time_point> parseIsoTime(const std::string& text);

/// "Last backup: <date>, <files> files, <outcome>" for a set's last backup, the date in
/// local time ("2026-12-08 05:12").
std::string lastBackupText(const RunRecord& record);

/// The record of one run of set from dataFolder, built the same way for the window and the
/// command line: the mode from settings, counts and failures from result, the destination's
/// file system looked at now. end is taken as now.
RunRecord makeRunRecord(const std::string& dataFolder, const BackupSet& set,
                        const backup::BackupSettings& settings, const backup::BackupResult& result,
                        RunRecord::Clock::time_point start, const std::string& program);

/// The record of a verification of set's copies: the counts, and the outcome ok when
/// every copy matched (or none could be checked), failed when anything is damaged,
/// missing or changed or the destination could not be read, cancelled when stopped.
RunRecord makeVerifyRecord(const std::string& dataFolder, const BackupSet& set,
                           const backup::VerifyResult& result, RunRecord::Clock::time_point start,
                           const std::string& program);

/// The record of a run that was refused before the engine started (the Backup button's
/// checks, items inside the destination): outcome refused with reason.
RunRecord makeRefusedRecord(const std::string& dataFolder, const BackupSet& set,
                            const backup::BackupSettings& settings, const std::string& reason,
                            RunRecord::Clock::time_point start, const std::string& program);

} // namespace stowmere::catalog
