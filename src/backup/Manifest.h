// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "backup/ContentHash.h"
#include "backup/Destination.h"

#include <atomic>
#include <cstdint>
#include <ctime>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

namespace stowmere::backup {

/// The destination's own record of its copies, one line per copy, sorted by path: what a
/// verification compares every copy against. A run adds to the journal beside it, a line
/// per copy as soon as the copy is complete, so a killed run keeps all it recorded; the
/// next run (or compaction) merges the journal into the sorted file.
inline constexpr const char* kManifestFileName = ".stowmere-manifest";
inline constexpr const char* kManifestJournalName = ".stowmere-manifest.journal";

/// What a line of the manifest says about its path.
enum class ManifestMark : char {
    Recorded = '+', ///< the copy's hash, size and time
    Damaged = '!',  ///< as recorded, but verification found the copy damaged or missing
    Removed = '-',  ///< the path has no copy any more (journal only)
};

/// One line of the manifest. The path is relative to the destination, '/'-separated.
struct ManifestRecord {
    std::string path;
    ManifestMark mark = ManifestMark::Recorded;
    ContentHash hash;
    std::uint64_t size = 0;
    timespec modified{};
};

/// Where a manifest file could not be read, and why; the rest of it is read all the same.
struct ManifestDamage {
    std::string file;         ///< full path of the manifest file
    std::uint64_t line = 0;   ///< 1-based; 0 for the file as a whole
    std::uint64_t offset = 0; ///< byte offset of the line
    std::string reason;
    std::string text() const;
};

/// The manifest's order: name by name along the path, so that a folder's whole tree comes
/// right after the folder's name, as a walk through sorted folders meets it ("a/z" before
/// "a.txt").
bool manifestPathLess(std::string_view a, std::string_view b);
/// Whether path is root or lies below it; every path lies below the root "".
bool manifestPathWithin(std::string_view path, std::string_view root);

/// One record as its line, with the checksum that lets a reader tell a damaged line.
std::string encodeManifestLine(const ManifestRecord& record);
/// The record of one line (without its line end); none with the reason for a damaged one.
std::optional<ManifestRecord> decodeManifestLine(std::string_view line, std::string& reason);

/// The first line of each file, with the format's version.
inline constexpr std::string_view kManifestHeader = "stowmere-manifest 1";
inline constexpr std::string_view kJournalHeader = "stowmere-manifest-journal 1";

/// The records of a destination's manifest and journal as one stream, in manifest order,
/// one record per path: a journal line outweighs the sorted file's, a later journal line
/// an earlier one, and removed paths are left out. Memory stays bounded whatever the
/// number of copies: the journal is sorted in runs of kSortRun lines kept in local
/// temporary files, then merged.
class ManifestReader {
public:
    static constexpr std::size_t kSortRun = 32768;

    /// Opens both files of destination; a missing file holds nothing, one that cannot be
    /// read is told in damage(). Sorting a long journal stops early once cancel is set;
    /// the stream is then incomplete and cancelled() says so.
    explicit ManifestReader(Destination& destination, const std::atomic<bool>* cancel = nullptr);
    ~ManifestReader();
    ManifestReader(const ManifestReader&) = delete;
    ManifestReader& operator=(const ManifestReader&) = delete;

    /// The next record; null at the end.
    const ManifestRecord* next();
    /// What could not be read so far (and was skipped).
    const std::vector<ManifestDamage>& damage() const { return m_damage; }
    /// Whether a journal was there to merge.
    bool hadJournal() const { return m_hadJournal; }
    /// Whether cancel cut the reading of the journal short.
    bool cancelled() const { return m_cancelled; }

    class Source;

private:
    std::vector<std::unique_ptr<Source>> m_sources;
    std::vector<ManifestDamage> m_damage;
    ManifestRecord m_current;
    bool m_hadJournal = false;
    bool m_cancelled = false;
};

/// Merges the journal into the sorted file of destination, which is replaced whole,
/// atomically, and removes the journal; damaged lines are dropped, and told in damage.
/// Nothing is written when there is no journal and nothing is damaged. The caller holds
/// the run lock. False with error when the new file could not be written; the old files
/// then stay as they were.
/// visit, when given, sees every record written. cancel, once set, stops the merge with
/// error operation_canceled, leaving both files as they were.
bool compactManifest(Destination& destination, std::vector<ManifestDamage>& damage, std::error_code& error,
                     const std::function<void(const ManifestRecord&)>& visit = {},
                     const std::atomic<bool>* cancel = nullptr);

/// How many records the sorted file of destination marks damaged, from its closing line
/// alone; none when the file is missing or its end cannot be read.
std::optional<std::uint64_t> markedInManifest(Destination& destination);

/// Adds lines to a destination's journal, each as soon as it is given, so that whatever
/// ends the process later keeps them. The caller holds the run lock.
class ManifestJournal {
public:
    /// Opens (or makes) the journal of destination; error tells why it cannot be written.
    static std::unique_ptr<ManifestJournal> open(Destination& destination, std::error_code& error);

    /// Writes what is still held back.
    ~ManifestJournal();

    /// Adds a record. Records are held back until flush, or until they fill
    /// kHeldBack bytes: a run killed meanwhile loses the records of its last folder, whose
    /// copies then count as unrecorded, never as damaged.
    std::error_code add(const ManifestRecord& record);
    std::error_code flush();
    /// The copy name of folder as it now stands, hashed and recorded. A hash error is
    /// returned; the copy is then not recorded. cancel, once set, stops the hashing of a
    /// large copy (operation_canceled, nothing recorded).
    std::error_code recordCopy(const FolderHandle& folder, const std::string& name,
                               const std::atomic<bool>* cancel = nullptr);
    /// The same for a copy whose bytes were hashed as they were written: recorded without
    /// reading it back, unless its size is not what was hashed. With modified (the time
    /// the copy was given, on a file system that keeps it exactly) the copy, just written
    /// under the run lock, is not even looked at.
    std::error_code recordCopy(const FolderHandle& folder, const std::string& name, const ContentHash& hash,
                               std::uint64_t bytes, const std::atomic<bool>* cancel = nullptr,
                               const timespec* modified = nullptr);

    static constexpr std::size_t kHeldBack = std::size_t{64} * 1024;

private:
    ManifestJournal(Destination& destination, std::unique_ptr<DestinationAppender> appender)
        : m_destination(destination), m_appender(std::move(appender))
    {
    }
    Destination& m_destination;
    std::unique_ptr<DestinationAppender> m_appender;
    std::string m_heldBack;
};

} // namespace stowmere::backup
