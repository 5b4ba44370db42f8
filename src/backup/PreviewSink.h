// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "backup/HardLinkMap.h"

#include "backup/BackupEngine.h"
#include "backup/Destination.h"
#include "backup/RunLog.h"
#include "backup/RunSink.h"

#include <string>

namespace stowmere::backup {

/// The sink of a preview: tells the observer, entry by entry, what a run would copy and
/// make, totals it, and writes nothing at all.
class PreviewSink final : public RunSink {
public:
    PreviewSink(const BackupSettings& settings, Destination& destination, RunLog& record);

    /// Whether a run could take the destination, found without making the lock file; false
    /// (the result says why) when it could not.
    bool start();

    bool looksAtTargets() const override { return true; }
    bool readsFiles() const override { return false; }
    bool wantsUnchanged() const override { return true; }
    void notBackedUp(const std::string& path, const std::string& reason) override;
    void excluded(const std::string& path) override;
    void missingItem(const std::string& item) override;
    void failed(const std::string& text) override;
    void foldersListed(std::size_t count) override;
    bool makeFolder(const FolderFacts& folder, bool& created) override;
    void folderReady(const FolderFacts&, const files::FileStatus*) override {}
    void beginEntries(const FolderFacts&, std::span<const ScannedFile>, const std::vector<bool>&) override {}
    void endEntries() override {}
    void abandonEntries() noexcept override {}
    bool entry(const EntryFacts& entry) override;
    void folderItemDone() override { m_names.clear(); }

private:
    /// Whether entry is a later name of a file met in this item: the run gives that file's
    /// copy this name too, which copies nothing.
    bool laterName(const EntryFacts& entry)
    {
        return entry.multiLinked() &&
               m_names.metBefore(entry.scanned->status.identity, entry.scanned->status.links);
    }

    /// A FIFO, socket or device node: made, refused, or up to date.
    bool special(const EntryFacts& entry, PreviewEntry& told);

    const BackupSettings& m_settings;
    Destination& m_destination;
    RunLog& m_record;
    PreviewTotals& m_totals;
    HardLinkMap m_names;
};

/// The disk bytes a file takes (allocated, so a sparse file counts what it holds); 0 when
/// it cannot be looked at. Links are looked at themselves when follow is false.
std::int64_t allocatedBytes(const std::string& path, bool follow);

} // namespace stowmere::backup
