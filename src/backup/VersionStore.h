// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "backup/Destination.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <ctime>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

namespace stowmere::backup {

class RunRecord;

/// The copies a destination keeps of files that runs replaced:
/// <destination>/.stowmere-versions/<stamp>/<path relative to the destination>, one run
/// folder per run that replaced anything, stamped with the run's start in UTC
/// (YYYY-MM-DDTHHMMSSZ, "-2", "-3" added when runs share a second). A kept copy is the
/// replaced file itself, moved there with its times and bits, never a copy of it.
class VersionStore {
public:
    /// Over an open destination, which must outlive the store. The versions folder is
    /// only ever a real folder of the destination: a link standing under its name is no
    /// versions folder (and gives way to a real one when a run keeps a copy).
    explicit VersionStore(Destination& destination);
    /// Over the local folder destination (no trailing separator; "" for the root), opened
    /// here; a folder that cannot be opened has no versions.
    explicit VersionStore(const std::string& destination);
    ~VersionStore();
    VersionStore(const VersionStore&) = delete;
    VersionStore& operator=(const VersionStore&) = delete;

    /// One run folder.
    struct RunFolder {
        std::string name;     ///< the stamp, with its suffix
        std::string path;     ///< full path
        std::time_t time = 0; ///< the run's start, UTC
        unsigned suffix = 1;  ///< 1 without a suffix
    };

    /// The versions folder.
    const std::string& folder() const { return m_folder; }
    /// The run folders, oldest first; names that are no stamp are not run folders.
    std::vector<RunFolder> runFolders() const;
    /// The destination the store works in; null when it could not be opened.
    Destination* destination() const { return m_destination; }
    /// The versions folder, opened; null when there is none (or a link stands there).
    FolderHandle openVersions(std::error_code& error) const;

    /// The stamp of a time, "2026-12-08T041500Z".
    static std::string stampOf(std::time_t time);
    /// The time and suffix of a run folder's name; none for a name that is no stamp.
    static std::optional<std::pair<std::time_t, unsigned>> parseStamp(std::string_view name);

    /// Deletes the run folders beyond the newest keep, and those older than days days
    /// before now (days 0: no age limit). Deletes nothing it does not recognise as a run
    /// folder, and never anything through a link. Returns the number deleted; error tells
    /// the first that could not be.
    /// cancel, once set, stops the deleting between two entries of a run folder (error
    /// then empty); the rest goes with the next prune.
    std::size_t prune(std::int32_t keep, std::int32_t days, std::time_t now, std::string& error,
                      const std::atomic<bool>* cancel = nullptr) const;

    /// Which run folders pruning keeps.
    struct KeepRules {
        std::int32_t versions = 0; ///< the newest this many...
        std::int32_t days = 0;     ///< ...that are not older than this many days (0: any age)
        std::int32_t daily = 0;    ///< the newest of each of the last this many days that have one
        std::int32_t weekly = 0;   ///< the same for weeks, Monday to Sunday
        std::int32_t monthly = 0;  ///< the same for months
    };
    /// Which of the run folders started at times (oldest first) the rules keep: those any
    /// rule keeps. Days, weeks and months are those of local time.
    static std::vector<bool> keptByRules(const std::vector<std::time_t>& times, const KeepRules& rules,
                                         std::time_t now);
    /// Deletes the run folders no rule keeps. One newer than a kept one is folded into the
    /// newest kept one older than it first, so that every kept moment (the destination as
    /// it was just before a kept run folder's run) still comes back whole; the others go,
    /// with the records of the runs up to them. Otherwise as above.
    std::size_t prune(const KeepRules& rules, std::time_t now, std::string& error,
                      const std::atomic<bool>* cancel = nullptr) const;

    /// Finds the places of the replaced copies of one run, making its run folder on first use.
    class Keeper {
    public:
        /// With record, the run folder takes the name of the run's record.
        Keeper(const VersionStore& store, std::time_t runStart, RunRecord* record = nullptr)
            : m_store(store), m_runStart(runStart), m_record(record)
        {
        }

        /// Where the copy at relative (below the destination) goes: the same path in the
        /// run folder, whose folders are made as needed. None on failure, with the reason.
        std::optional<VersionPlace> placeFor(std::string_view relative, std::error_code& error);
        /// Moves target (a full path below the destination) into the run folder by a
        /// rename, so its data is never copied. Returns where it went; on failure nothing
        /// was moved and error says why.
        std::optional<std::string> keep(const std::string& target, std::error_code& error);
        /// Removes the run folder again when no copy went into it (a run cancelled or
        /// stopped before it kept any), so that it takes no place among those kept.
        void finish();
        /// The run folder, once made.
        const std::string& runFolder() const { return m_runFolder; }

    private:
        bool makeRunFolder(std::error_code& error);

        const VersionStore& m_store;
        std::time_t m_runStart;
        RunRecord* m_record;
        std::string m_runFolder;
        std::string m_runName;
        FolderHandle m_versions;
        FolderHandle m_run;
        std::string m_lastParent; ///< the last folder made inside the run folder
        FolderHandle m_lastParentFolder;
        std::size_t m_placed = 0;
    };

private:
    /// Deletes the records of the runs up to through (a run folder's time and suffix).
    void pruneRecords(std::pair<std::time_t, unsigned> through) const;

    std::unique_ptr<Destination> m_owned;
    Destination* m_destination = nullptr;
    std::string m_folder;
};

} // namespace stowmere::backup
