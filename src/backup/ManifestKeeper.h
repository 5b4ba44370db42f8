// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "backup/Destination.h"
#include "backup/Manifest.h"
#include "backup/PathSpool.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

namespace stowmere::backup {

/// A run's side of the manifest: made under the run lock, it merges what an earlier run
/// or a verification left in the journal, learns which copies verification found damaged
/// or missing (the run copies them again), and records each copy the run makes, hashed
/// as soon as it is complete.
class ManifestKeeper {
public:
    /// cancel, once set, cuts the merge and the hashing of a copy short: a cancelled run
    /// leaves the journal to the next one, and its last copy unrecorded.
    explicit ManifestKeeper(Destination& destination, const std::atomic<bool>* cancel = nullptr);

    /// What the run should tell: a damaged manifest, a manifest that cannot be kept.
    const std::vector<std::string>& notes() const { return m_notes; }

    /// Whether verification marked copies for this run to copy again.
    bool healing() const { return !m_marked.empty(); }
    /// Whether the copy at relative (below the destination) is one of them.
    bool isMarked(const std::string& relative) const { return m_marked.count(relative) > 0; }

    /// Records the copy name of folder, just written; with written, the hash of the bytes
    /// (bytes of them) as they were written, which spares reading the copy back.
    void recordCopy(const FolderHandle& folder, const std::string& name,
                    const std::optional<ContentHash>& written = std::nullopt, std::uint64_t bytes = 0);

    /// Writes the records held back: at the end of each folder, and before the lock goes.
    void flush();

    /// The copy at relative was found up to date and left alone: if the manifest has no
    /// record of it, recordUpToDate hashes and records it.
    void noteUpToDate(std::string_view relative);
    /// Hashes and records each copy noted up to date that the manifest does not know (a
    /// destination written before there was a manifest, the last folder of a killed run),
    /// so that every copy is recorded once. Returns how many were recorded. Stops early
    /// once cancel is set: the rest are recorded by a later run or a verification.
    std::uint64_t recordUpToDate();

    /// Marked copies this run copied again.
    std::uint64_t healed() const { return m_healed; }

    /// The most marked copies a run learns of: each costs its path in memory. Those beyond
    /// stay marked for the next run.
    static constexpr std::size_t kMaxMarked = 100000;

private:
    void noteFailure(std::string text);
    bool openJournal();
    bool cancelled() const { return m_cancel != nullptr && m_cancel->load(); }

    Destination& m_destination;
    const std::atomic<bool>* m_cancel;
    std::unique_ptr<ManifestJournal> m_journal;
    std::unordered_set<std::string> m_marked;
    PathSpool m_upToDate;
    std::vector<std::string> m_notes;
    std::uint64_t m_healed = 0;
    bool m_failed = false;
};

} // namespace stowmere::backup
