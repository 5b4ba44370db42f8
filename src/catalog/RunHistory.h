// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "catalog/RunRecord.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace stowmere::catalog {

/// The run history: one JSON line per backup run, from the window and the command line
/// alike, in a file that any number of programs append to at once.
///
/// A record is appended with a single write of the whole line to a file opened with
/// O_APPEND, so lines of two programs never mix. Past kRotateSize the file is renamed to
/// "<file>.1" (replacing the older one) under a lock, so only one writer rotates. Reading
/// takes the old file, then the current one, and skips a damaged line with a warning.
class RunHistory {
public:
    static constexpr std::uint64_t kRotateSize = std::uint64_t{10} << 20;

    /// file: the history file; rotateSize: its size past which it is rotated before the
    /// next append.
    explicit RunHistory(std::string file, std::uint64_t rotateSize = kRotateSize);

    /// $XDG_STATE_HOME/stowmere/history.jsonl (default ~/.local/state/stowmere).
    static std::string defaultFile();

    const std::string& file() const { return m_file; }
    /// The rotated file: the history file's name with ".1".
    std::string oldFile() const { return m_file + ".1"; }

    /// Appends one record, creating the folder when needed. Returns an empty text when the
    /// record is in the file, else what failed, naming the file.
    [[nodiscard]] std::string append(const RunRecord& record) const;

    /// Every readable record, oldest first, to visit; a damaged line becomes a warning
    /// ("<file>, line N: <what is wrong>; skipped") and reading goes on. A missing file is
    /// an empty history; a file that cannot be read is one warning.
    void read(const std::function<void(RunRecord&&)>& visit, std::vector<std::string>& warnings) const;

    /// Every run recorded under a set number of a data folder, oldest first, whichever set
    /// had the number then (for a set deleted since).
    std::vector<RunRecord> runsOf(const std::string& dataFolder, std::int32_t setNumber,
                                  std::vector<std::string>& warnings) const;
    /// The runs of one set of a data folder, oldest first: never those of an earlier set
    /// that had its number (isRunOf).
    std::vector<RunRecord> runsOf(const std::string& dataFolder, const BackupSet& set,
                                  std::vector<std::string>& warnings) const;
    /// Every run of the sets of a data folder, oldest first.
    std::vector<RunRecord> runsOf(const std::string& dataFolder, std::vector<std::string>& warnings) const;

    /// "The last backup" of a set: its last run with outcome ok or warnings that was not a
    /// dry run.
    std::optional<RunRecord> lastBackup(const std::string& dataFolder, const BackupSet& set,
                                        std::vector<std::string>& warnings) const;

    /// The last backup run (neither a dry run nor a verification), whatever its outcome, of
    /// each of sets (of a data folder), by set number.
    std::map<std::int32_t, RunRecord> lastRuns(const std::string& dataFolder,
                                               const std::vector<BackupSet>& sets,
                                               std::vector<std::string>& warnings) const;
    /// The last backup (isBackup) of each of sets, by set number.
    std::map<std::int32_t, RunRecord> lastBackups(const std::string& dataFolder,
                                                  const std::vector<BackupSet>& sets,
                                                  std::vector<std::string>& warnings) const;

private:
    std::string rotateIfFull(int fd) const;
    void readFile(const std::string& file, const std::function<void(RunRecord&&)>& visit,
                  std::vector<std::string>& warnings) const;

    std::string m_file;
    std::uint64_t m_rotateSize;
};

} // namespace stowmere::catalog
