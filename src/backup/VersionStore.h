// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

namespace stowmere::backup {

/// The copies a destination keeps of files that runs replaced:
/// <destination>/.stowmere-versions/<stamp>/<path relative to the destination>, one run
/// folder per run that replaced anything, stamped with the run's start in UTC
/// (YYYY-MM-DDTHHMMSSZ, "-2", "-3" added when runs share a second). A kept copy is the
/// replaced file itself, moved there with its times and bits, never a copy of it.
class VersionStore {
public:
    /// destination: the backup folder as the engine uses it (no trailing separator; "" for
    /// the root).
    explicit VersionStore(std::string destination);

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

    /// The stamp of a time, "2026-12-08T041500Z".
    static std::string stampOf(std::time_t time);
    /// The time and suffix of a run folder's name; none for a name that is no stamp.
    static std::optional<std::pair<std::time_t, unsigned>> parseStamp(std::string_view name);

    /// Deletes the run folders beyond the newest keep, and those older than days days
    /// before now (days 0: no age limit). Deletes nothing it does not recognise as a run
    /// folder. Returns the number deleted; error tells the first that could not be.
    std::size_t prune(std::int32_t keep, std::int32_t days, std::time_t now, std::string& error) const;

    /// Moves the replaced copies of one run aside, making its run folder on first use.
    class Keeper {
    public:
        Keeper(const VersionStore& store, std::time_t runStart) : m_store(store), m_runStart(runStart) {}

        /// Moves target (a file below the destination) into the run folder at its path
        /// relative to the destination, by a rename, so its data is never copied and never
        /// lost. Returns where it went; on failure nothing was moved and error says why.
        std::optional<std::string> keep(const std::string& target, std::error_code& error);
        /// Puts a kept copy back where it was, after its replacement failed.
        static void putBack(const std::string& kept, const std::string& target);
        /// The run folder, once made.
        const std::string& runFolder() const { return m_runFolder; }

    private:
        bool makeRunFolder(std::error_code& error);
        bool makeParents(const std::string& relative, std::error_code& error);

        const VersionStore& m_store;
        std::time_t m_runStart;
        std::string m_runFolder;
        std::string m_lastParent; ///< the last folder made inside the run folder
    };

private:
    std::string m_destination;
    std::string m_folder;
};

} // namespace stowmere::backup
